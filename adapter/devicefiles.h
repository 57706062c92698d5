#pragma once

#include <string>
#include <vector>

// The reads of sysfs and /dev that bridge discovery and the i2c-dev backend make,
// behind a seam so that tests and fuzzers can stand in a tree held in memory. Paths are
// resolved as the kernel resolves them, following symbolic links. None throws.
class DeviceFiles
{
public:
    virtual ~DeviceFiles() = default;

    // The absolute path with every link, "." and ".." resolved (no "/" doubled or at the
    // end); empty when a part of it is missing.
    virtual std::string canonical(const std::string &path) = 0;
    // What the symbolic link at path holds, as written; empty when path is not a link.
    virtual std::string readLink(const std::string &path) = 0;
    virtual bool exists(const std::string &path) = 0;
    virtual bool isDirectory(const std::string &path) = 0;
    // The file's first line, without its line end; empty when it cannot be read.
    virtual std::string readLine(const std::string &path) = 0;
    // The names in a directory, in no particular order; none when it cannot be read.
    virtual std::vector<std::string> list(const std::string &path) = 0;

    // The real file system.
    static DeviceFiles &system();
};
