#pragma once

#include "devicefiles.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// A file system held in memory, for sysfs and /dev in tests and fuzzers: directories,
// files and symbolic links below "/". Paths are resolved as the kernel resolves them: a
// link is followed from the folder it lies in, ".." after a link leads to the parent of
// where the link led (not back along the path as written), every part before the last
// must be a directory, and more than 40 links in one path fail. A relative path starts
// at "/". The calls that change the tree fail, changing nothing, where the real system
// calls would fail.
class MemoryTree : public DeviceFiles
{
public:
    using path = std::filesystem::path;

    MemoryTree() { clear(); }

    // Only "/" left.
    void clear() { m_root = make(Node::Directory); }

    // A directory and any parents it lacks (as mkdir -p).
    bool makeDirectories(const path &where)
    {
        Walk w = rootWalk();
        int links = 0;
        return walk(w, where, true, links, true) && w.back().node->kind == Node::Directory;
    }
    // Replaces or creates a file holding text; a link in the last place is followed, also
    // to a file it would create (as open with O_CREAT does). The folder must exist.
    bool writeFile(const path &where, const std::string &text)
    {
        Walk w = rootWalk();
        path p = where;
        for (int links = 0;;) {
            Node *dir = folderOf(w, p, links);
            const std::string name = p.filename().string();
            if (!dir || !isName(name))
                return false;
            auto &slot = dir->entries[name];
            if (!slot)
                slot = make(Node::File);
            if (slot->kind == Node::Directory)
                return false;
            if (slot->kind == Node::File) {
                slot->text = text;
                return true;
            }
            if (++links > kMaxLinks)
                return false;
            p = slot->text; // on from the link's folder, where w now stands
        }
    }
    // A symbolic link at where holding target as given (as symlink()).
    bool makeLink(const path &where, const path &target)
    {
        Walk w = rootWalk();
        int links = 0;
        Node *dir = folderOf(w, where, links);
        const std::string name = where.filename().string();
        if (!dir || !isName(name) || target.empty() || dir->entries.count(name))
            return false;
        auto link = make(Node::Link);
        link->text = target.string();
        dir->entries[name] = std::move(link);
        return true;
    }
    // A link at where to target holding the relative way from the link's folder to
    // where target really lies, as sysfs's links do.
    bool linkTo(const path &where, const path &target)
    {
        const path folder = canonical(where.parent_path().empty() ? "/" : where.parent_path());
        if (folder.empty())
            return false;
        const path way = weaklyCanonical(target).lexically_relative(folder);
        return !way.empty() && makeLink(folder / where.filename(), way);
    }
    // Takes away a file, a link (not what it leads to) or an empty directory.
    bool remove(const path &where) { return take(where, false); }
    // The same, with everything below a directory.
    bool removeAll(const path &where) { return take(where, true); }

    // As std::filesystem::weakly_canonical: the longest part of p that exists resolved,
    // the rest appended as written, then "." and ".." taken out by the letters.
    path weaklyCanonical(const path &p)
    {
        path head = p.root_path();
        path tail;
        for (const path &part : p.relative_path()) {
            if (tail.empty() && exists(head / part))
                head /= part;
            else
                tail /= part;
        }
        const path resolved = canonical(head.empty() ? "/" : head);
        return tail.empty() ? resolved : (resolved / tail).lexically_normal();
    }

    // The tree below where, written to the same place in the real file system (which
    // must hold where's folder), links as they are.
    bool copyTo(const path &where)
    {
        Walk w = rootWalk();
        int links = 0;
        return walk(w, where, false, links) && copy(*w.back().node, where);
    }

    path canonical(const path &p) override
    {
        Walk w = rootWalk();
        int links = 0;
        if (!walk(w, p, true, links))
            return path();
        path out = "/";
        for (size_t i = 1; i < w.size(); ++i)
            out /= w[i].name;
        return out;
    }
    path readLink(const path &p) override
    {
        const Node *n = find(p, false);
        return n && n->kind == Node::Link ? path(n->text) : path();
    }
    bool exists(const path &p) override { return find(p, true) != nullptr; }
    bool isDirectory(const path &p) override
    {
        const Node *n = find(p, true);
        return n && n->kind == Node::Directory;
    }
    std::string readLine(const path &p) override
    {
        const Node *n = find(p, true);
        if (!n || n->kind != Node::File)
            return std::string();
        return n->text.substr(0, n->text.find('\n'));
    }
    std::vector<std::string> list(const path &p) override
    {
        std::vector<std::string> names;
        if (const Node *n = find(p, true); n && n->kind == Node::Directory)
            for (const auto &entry : n->entries)
                names.push_back(entry.first);
        return names;
    }

private:
    static constexpr int kMaxLinks = 40;

    struct Node
    {
        enum Kind { Directory, File, Link } kind = Directory;
        std::map<std::string, std::unique_ptr<Node>> entries; // a directory's
        std::string text;                                     // a file's bytes, a link's target
    };
    static std::unique_ptr<Node> make(Node::Kind kind)
    {
        auto n = std::make_unique<Node>();
        n->kind = kind;
        return n;
    }
    // Where a walk stands: the directories from "/" down, each with its name in its
    // parent, and last what it reached.
    struct Step
    {
        std::string name;
        Node *node;
    };
    using Walk = std::vector<Step>;

    Walk rootWalk() { return {{std::string(), m_root.get()}}; }

    static bool isName(const std::string &name)
    {
        return !name.empty() && name != "." && name != "..";
    }

    // Follows p from where w stands (from "/" when p is absolute); the last part's link
    // is followed when followLast says so. With makeMissing, missing directories are made.
    bool walk(Walk &w, const path &p, bool followLast, int &links, bool makeMissing = false)
    {
        if (p.has_root_directory())
            w.resize(1);
        std::vector<std::string> parts;
        for (const path &part : p.relative_path())
            parts.push_back(part.string());
        for (size_t i = 0; i < parts.size(); ++i) {
            const std::string &name = parts[i];
            Node *dir = w.back().node;
            if (dir->kind != Node::Directory)
                return false;
            if (name.empty() || name == ".")
                continue;
            if (name == "..") {
                if (w.size() > 1)
                    w.pop_back();
                continue;
            }
            auto it = dir->entries.find(name);
            if (it == dir->entries.end()) {
                if (!makeMissing)
                    return false;
                it = dir->entries.emplace(name, make(Node::Directory)).first;
            }
            Node *child = it->second.get();
            if (child->kind == Node::Link && (i + 1 < parts.size() || followLast)) {
                if (++links > kMaxLinks || !walk(w, child->text, true, links))
                    return false;
                continue;
            }
            w.push_back({name, child});
        }
        return true;
    }
    // Walks w to the folder that p's last part would lie in, p's link-free parent.
    Node *folderOf(Walk &w, const path &p, int &links)
    {
        if (!walk(w, p.parent_path(), true, links))
            return nullptr;
        Node *dir = w.back().node;
        return dir->kind == Node::Directory ? dir : nullptr;
    }
    const Node *find(const path &p, bool followLast)
    {
        Walk w = rootWalk();
        int links = 0;
        return walk(w, p, followLast, links) ? w.back().node : nullptr;
    }
    bool take(const path &where, bool everything)
    {
        Walk w = rootWalk();
        int links = 0;
        Node *dir = folderOf(w, where, links);
        const std::string name = where.filename().string();
        if (!dir || !isName(name))
            return false;
        const auto it = dir->entries.find(name);
        if (it == dir->entries.end() ||
            (!everything && it->second->kind == Node::Directory && !it->second->entries.empty()))
            return false;
        dir->entries.erase(it);
        return true;
    }
    static bool copy(const Node &node, const path &to)
    {
        std::error_code ec;
        switch (node.kind) {
        case Node::File:
            return bool(std::ofstream(to, std::ios::binary) << node.text);
        case Node::Link:
            std::filesystem::create_symlink(node.text, to, ec);
            return !ec;
        case Node::Directory:
            std::filesystem::create_directory(to, ec);
            for (const auto &entry : node.entries)
                if (!copy(*entry.second, to / entry.first))
                    return false;
            return !ec;
        }
        return false;
    }

    std::unique_ptr<Node> m_root;
};
