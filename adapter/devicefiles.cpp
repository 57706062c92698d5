#include "devicefiles.h"

#include <fstream>

namespace fs = std::filesystem;

namespace {
class SystemFiles : public DeviceFiles
{
public:
    fs::path canonical(const fs::path &path) override
    {
        std::error_code ec;
        fs::path resolved = fs::canonical(path, ec);
        return ec ? fs::path() : resolved;
    }
    fs::path readLink(const fs::path &path) override
    {
        std::error_code ec;
        fs::path target = fs::read_symlink(path, ec);
        return ec ? fs::path() : target;
    }
    bool exists(const fs::path &path) override
    {
        std::error_code ec;
        return fs::exists(path, ec);
    }
    bool isDirectory(const fs::path &path) override
    {
        std::error_code ec;
        return fs::is_directory(path, ec);
    }
    std::string readLine(const fs::path &path) override
    {
        std::ifstream in(path);
        std::string line;
        std::getline(in, line);
        return line;
    }
    std::vector<std::string> list(const fs::path &path) override
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
