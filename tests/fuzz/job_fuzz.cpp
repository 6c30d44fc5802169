// The job file's reader and minisign's key and signature readers on any
// bytes: a problem or a value, never a crash; a job that reads writes a
// text that reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "job/job_file.h"
#include "job/minisign.h"

namespace {

bool sameSerial(const std::optional<vmserial::SerialSettings>& a, const std::optional<vmserial::SerialSettings>& b) {
    if (!a || !b) return !a && !b;
    return a->offset == b->offset && a->format == b->format && a->width == b->width && a->first == b->first &&
           a->last == b->last && a->step == b->step && a->store == b->store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (std::optional<vmjob::Signature> signature = vmjob::parseSignature(text, &error)) {
        const vmjob::PublicKey key{signature->keyId, {}};
        (void)vmjob::verifySignature({data, size}, *signature, {key});
    }
    (void)vmjob::parsePublicKey(text, &error);

    vmjob::JobRead read = vmjob::readJobText(text, "fuzz.toml");
    if (read.spec) {
        vmjob::JobRead again = vmjob::readJobText(vmjob::jobText(*read.spec), "again.toml");
        if (!again.spec || again.spec->name != read.spec->name ||
            again.spec->imageFile != read.spec->imageFile || again.spec->size != read.spec->size ||
            again.spec->imageSha256 != read.spec->imageSha256 ||
            again.spec->revision != read.spec->revision || !sameSerial(again.spec->serial, read.spec->serial)) {
            std::abort();
        }
    }
    return 0;
}
