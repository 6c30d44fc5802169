#include "texts_support.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

std::vector<const char*> fieldsOf(const Texts& texts) {
    static_assert(std::is_trivially_copyable_v<Texts> && std::is_standard_layout_v<Texts>);
    static_assert(sizeof(Texts) % sizeof(const char*) == 0, "Texts holds only text pointers");
    std::array<const char*, sizeof(Texts) / sizeof(const char*)> fields{};
    std::memcpy(fields.data(), &texts, sizeof(Texts));
    return {fields.begin(), fields.end()};
}

std::string conversionsOf(const char* format) {
    std::string out;
    for (const char* p = format; *p; ++p) {
        if (*p != '%') continue;
        ++p;
        if (*p == '%') continue;
        while (*p && std::strchr("-+ #0123456789.*hlLqjzt", *p)) out += *p++;
        if (!*p) {
            out += "<unfinished>";
            break;
        }
        out += *p;
        out += ' ';
    }
    return out;
}

std::string slotsOf(const char* text) {
    std::vector<char> slots;
    for (const char* p = text; *p; ++p)
        if (p[0] == '{' && p[1] >= '0' && p[1] <= '9' && p[2] == '}') slots.push_back(p[1]);
    std::sort(slots.begin(), slots.end());
    std::string out;
    for (char slot : slots) (out += slot) += ' ';
    return out;
}

#ifdef _WIN32

namespace {
constexpr UINT kGbk = 936;

bool toWide(UINT codePage, std::string_view in, std::wstring& out) {
    out.clear();
    if (in.empty()) return true;
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()),
                                      nullptr, 0);
    if (n <= 0) return false;
    out.resize(static_cast<size_t>(n));
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), out.data(),
                               n) == n;
}

bool fromWide(UINT codePage, const std::wstring& in, std::string& out) {
    out.clear();
    if (in.empty()) return true;
    BOOL usedDefault = FALSE;
    BOOL* lossy = codePage == CP_UTF8 ? nullptr : &usedDefault;
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int n = WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), nullptr, 0, nullptr,
                                      lossy);
    if (n <= 0 || usedDefault) return false;
    out.resize(static_cast<size_t>(n));
    return WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), out.data(), n, nullptr,
                               lossy) == n &&
           !usedDefault;
}
}  // namespace

bool utf8ToGbk(std::string_view utf8, std::string& gbk) {
    std::wstring wide;
    return toWide(CP_UTF8, utf8, wide) && fromWide(kGbk, wide, gbk);
}

bool gbkToUtf8(std::string_view gbk, std::string& utf8) {
    std::wstring wide;
    return toWide(kGbk, gbk, wide) && fromWide(CP_UTF8, wide, utf8);
}

#else

namespace {
bool convert(const char* to, const char* from, std::string_view in, std::string& out) {
    out.clear();
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string buffer(in.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = buffer.data();
    size_t dstLeft = buffer.size();
    const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    // A positive count means characters were replaced, not converted.
    if (rc != 0 || srcLeft != 0) return false;
    out.assign(buffer.data(), buffer.size() - dstLeft);
    return true;
}
}  // namespace

bool utf8ToGbk(std::string_view utf8, std::string& gbk) { return convert("CP936", "UTF-8", utf8, gbk); }

bool gbkToUtf8(std::string_view gbk, std::string& utf8) { return convert("UTF-8", "CP936", gbk, utf8); }

#endif
