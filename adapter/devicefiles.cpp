#include "devicefiles.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {
class SystemFiles : public DeviceFiles
{
public:
    std::string canonical(const std::string &path) override
    {
        std::error_code ec;
        const fs::path resolved = fs::canonical(path, ec);
        return ec ? std::string() : resolved.string();
    }
    std::string readLink(const std::string &path) override
    {
        std::error_code ec;
        const fs::path target = fs::read_symlink(path, ec);
        return ec ? std::string() : target.string();
    }
    bool exists(const std::string &path) override
    {
        std::error_code ec;
        return fs::exists(path, ec);
    }
    bool isDirectory(const std::string &path) override
    {
        std::error_code ec;
        return fs::is_directory(path, ec);
    }
    std::string readLine(const std::string &path) override
    {
        std::ifstream in(path);
        std::string line;
        std::getline(in, line);
        return line;
    }
    std::vector<std::string> list(const std::string &path) override
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
            names.push_back(it->path().filename().string());
        return names;
    }
};
} // namespace

DeviceFiles &DeviceFiles::system()
{
    static SystemFiles files;
    return files;
}
