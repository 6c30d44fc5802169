#include "cli/input_checks.h"

#include <filesystem>
#include <system_error>

#include "platform/files.h"

namespace fs = std::filesystem;

namespace {

const char* kindName(fs::file_type type) {
    switch (type) {
        case fs::file_type::directory: return "a folder";
        case fs::file_type::fifo: return "a named pipe";
        case fs::file_type::socket: return "a socket";
        case fs::file_type::character: return "a character device";
        case fs::file_type::block: return "a block device";
        default: return "not a regular file";
    }
}

}  // namespace

std::optional<std::string> imageFileProblem(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error) return error.message();
    const fs::file_type type = status.type();
    if (type == fs::file_type::regular || type == fs::file_type::directory) return std::nullopt;
    return std::string(kindName(type)) + ", not an image file";
}

std::optional<std::string> outputFileProblem(const std::string& path) {
    if (path.empty()) return "the output name is empty";
    const std::string target = platform::saveTarget(path.c_str());
    std::error_code error;
    const fs::file_status status = fs::status(target, error);
    if (status.type() != fs::file_type::not_found) {
        if (error) return error.message();
        if (status.type() != fs::file_type::regular) {
            return std::string(kindName(status.type())) + ", not a file to save into";
        }
    }
    fs::path folder = fs::path(target).parent_path();
    if (folder.empty()) folder = ".";
    const fs::file_status folderStatus = fs::status(folder, error);
    if (folderStatus.type() == fs::file_type::not_found) {
        return "the folder " + folder.string() + " does not exist";
    }
    if (error) return folder.string() + ": " + error.message();
    if (folderStatus.type() != fs::file_type::directory) return folder.string() + " is not a folder";
    std::uint32_t code = 0;
    if (!platform::canCreateIn(folder.string().c_str(), &code)) {
        return "no file can be created in " + folder.string() + ": " + platform::errorText(code);
    }
    return std::nullopt;
}

std::optional<std::string> preferencesFileProblem(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    const fs::file_type type = status.type();
    if (type == fs::file_type::not_found || type == fs::file_type::regular) return std::nullopt;
    if (error) return error.message();
    return std::string(kindName(type)) + ", not a preferences file";
}

std::string openErrorText(const std::string& path) {
    std::uint32_t code = 0;
    std::FILE* file = platform::openForRead(path.c_str(), &code);
    if (file) {
        std::fclose(file);
        return "it could not be read";
    }
    return platform::errorText(code);
}
