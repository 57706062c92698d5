#pragma once

#include "devicefiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
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
    bool makeDirectories(const std::string &where)
    {
        Walk &w = start();
        int links = 0;
        return walk(w, where, true, links, true) && w.back().node->kind == Node::Directory;
    }
    // Replaces or creates a file holding text; a link in the last place is followed, also
    // to a file it would create (as open with O_CREAT does). The folder must exist.
    bool writeFile(const std::string &where, const std::string &text)
    {
        Walk &w = start();
        std::string p = where;
        for (int links = 0;;) {
            Node *dir = folderOf(w, p, links);
            const std::string_view name = baseName(p);
            if (!dir || !isName(name))
                return false;
            auto it = dir->entries.find(name);
            if (it == dir->entries.end())
                it = dir->entries.emplace(std::string(name), make(Node::File)).first;
            Node &node = *it->second;
            if (node.kind == Node::Directory)
                return false;
            if (node.kind == Node::File) {
                node.text = text;
                return true;
            }
            if (++links > kMaxLinks)
                return false;
            p = node.text; // on from the link's folder, where w now stands
        }
    }
    // A symbolic link at where holding target as given (as symlink()).
    bool makeLink(const std::string &where, const std::string &target)
    {
        Walk &w = start();
        int links = 0;
        Node *dir = folderOf(w, where, links);
        const std::string_view name = baseName(where);
        if (!dir || !isName(name) || target.empty() ||
            dir->entries.find(name) != dir->entries.end())
            return false;
        auto link = make(Node::Link);
        link->text = target;
        dir->entries.emplace(std::string(name), std::move(link));
        return true;
    }
    // A link at where to target holding the relative way from the link's folder to
    // where target really lies, as sysfs's links do.
    bool linkTo(const std::string &where, const std::string &target)
    {
        Walk &w = start();
        int links = 0;
        Node *dir = folderOf(w, where, links);
        const std::string_view name = baseName(where);
        if (!dir || !isName(name) || dir->entries.find(name) != dir->entries.end())
            return false;
        // Up from the folder to the deepest folder the two share, then down to the target.
        const std::string from = reached(w) + (w.size() > 1 ? "/" : "");
        const std::string to = weaklyCanonical(target);
        const std::string down = to.back() == '/' ? to : to + "/";
        size_t shared = 0;
        for (size_t i = 0; i < from.size() && i < down.size() && from[i] == down[i]; ++i)
            if (from[i] == '/')
                shared = i + 1;
        std::string way;
        for (size_t i = shared; i < from.size(); ++i)
            if (from[i] == '/')
                way += "../";
        way.append(down, shared, std::string::npos);
        if (way.size() > 1 && to.back() != '/')
            way.pop_back();
        auto link = make(Node::Link);
        link->text = way.empty() ? "." : way;
        dir->entries.emplace(std::string(name), std::move(link));
        return true;
    }
    // Takes away a file, a link (not what it leads to) or an empty directory.
    bool remove(const std::string &where) { return take(where, false); }
    // The same, with everything below a directory.
    bool removeAll(const std::string &where) { return take(where, true); }

    // As std::filesystem::weakly_canonical: the longest part of p that exists resolved,
    // the rest appended as written, then "." and ".." taken out by the letters.
    std::string weaklyCanonical(const std::string &p)
    {
        Walk &w = start();
        int links = 0;
        size_t missing = 0;
        if (walk(w, p, true, links, false, &missing))
            return reached(w);
        std::string_view head = std::string_view(p).substr(0, missing);
        while (head.size() > 1 && head.back() == '/')
            head.remove_suffix(1);
        const std::string resolved = canonical(std::string(head));
        std::vector<std::string_view> out = parts(resolved);
        for (const std::string_view part : parts(std::string_view(p).substr(missing))) {
            if (part == ".." && !out.empty())
                out.pop_back();
            else if (part != "." && part != "..")
                out.push_back(part);
        }
        std::string joined;
        for (const std::string_view part : out)
            joined.append("/").append(part);
        return joined.empty() || p.back() == '/' ? joined + "/" : joined;
    }

    // The tree below where, written to the same place in the real file system (which
    // must hold where's folder), links as they are.
    bool copyTo(const path &where)
    {
        const Node *n = find(where.native(), false);
        return n && copy(*n, where);
    }

    path canonical(const path &p) override
    {
        Walk &w = start();
        int links = 0;
        return walk(w, p.native(), true, links) ? path(reached(w)) : path();
    }
    path readLink(const path &p) override
    {
        const Node *n = find(p.native(), false);
        return n && n->kind == Node::Link ? path(n->text) : path();
    }
    bool exists(const path &p) override { return find(p.native(), true) != nullptr; }
    bool isDirectory(const path &p) override
    {
        const Node *n = find(p.native(), true);
        return n && n->kind == Node::Directory;
    }
    std::string readLine(const path &p) override
    {
        const Node *n = find(p.native(), true);
        if (!n || n->kind != Node::File)
            return std::string();
        return n->text.substr(0, n->text.find('\n'));
    }
    std::vector<std::string> list(const path &p) override
    {
        std::vector<std::string> names;
        if (const Node *n = find(p.native(), true); n && n->kind == Node::Directory)
            for (const auto &entry : n->entries)
                names.push_back(entry.first);
        return names;
    }

private:
    static constexpr int kMaxLinks = 40;

    struct Node
    {
        enum Kind { Directory, File, Link } kind = Directory;
        // A directory's entries; std::less<> finds them by a string_view.
        std::map<std::string, std::unique_ptr<Node>, std::less<>> entries;
        std::string text; // a file's bytes, a link's target
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
        const std::string *name;
        Node *node;
    };
    using Walk = std::vector<Step>;

    // A walk from "/", reusing one vector: paths are resolved for every read.
    Walk &start()
    {
        static const std::string rootName;
        m_walk.assign(1, Step{&rootName, m_root.get()});
        return m_walk;
    }

    // The path a walk has reached, from "/".
    static std::string reached(const Walk &w)
    {
        std::string out;
        for (size_t i = 1; i < w.size(); ++i)
            out.append("/").append(*w[i].name);
        return out.empty() ? "/" : out;
    }

    static bool isName(std::string_view name)
    {
        return !name.empty() && name != "." && name != "..";
    }
    // What follows the last "/" ("" after a trailing one), and what precedes it.
    static std::string_view baseName(std::string_view p)
    {
        const size_t cut = p.rfind('/');
        return cut == std::string_view::npos ? p : p.substr(cut + 1);
    }
    static std::string_view folderName(std::string_view p)
    {
        const size_t cut = p.rfind('/');
        return cut == std::string_view::npos ? std::string_view() : p.substr(0, cut == 0 ? 1 : cut);
    }

    // The names between the slashes of p.
    static std::vector<std::string_view> parts(std::string_view p)
    {
        std::vector<std::string_view> names;
        for (size_t i = p.find_first_not_of('/'); i != std::string_view::npos;) {
            const size_t end = std::min(p.find('/', i), p.size());
            names.push_back(p.substr(i, end - i));
            i = p.find_first_not_of('/', end);
        }
        return names;
    }

    // Follows p from where w stands (from "/" when p is absolute); the last part's link
    // is followed when followLast says so, or when a "/" ends p. With makeMissing,
    // missing directories are made. On failure, missingAt (when given) tells where in p
    // the part starts that could not be followed.
    bool walk(Walk &w, std::string_view p, bool followLast, int &links, bool makeMissing = false,
              size_t *missingAt = nullptr)
    {
        if (!p.empty() && p[0] == '/')
            w.resize(1);
        const auto fail = [missingAt](size_t at) {
            if (missingAt)
                *missingAt = at;
            return false;
        };
        for (size_t i = p.find_first_not_of('/'); i != std::string_view::npos;) {
            const size_t begin = i;
            const size_t end = std::min(p.find('/', i), p.size());
            const std::string_view name = p.substr(i, end - i);
            i = p.find_first_not_of('/', end);
            const bool last = i == std::string_view::npos;
            Node *dir = w.back().node;
            if (dir->kind != Node::Directory)
                return fail(begin);
            if (name == ".")
                continue;
            if (name == "..") {
                if (w.size() > 1)
                    w.pop_back();
                continue;
            }
            auto it = dir->entries.find(name);
            if (it == dir->entries.end()) {
                if (!makeMissing)
                    return fail(begin);
                it = dir->entries.emplace(std::string(name), make(Node::Directory)).first;
            }
            Node *child = it->second.get();
            if (child->kind == Node::Link && (!last || followLast || end < p.size())) {
                if (++links > kMaxLinks || !walk(w, child->text, true, links))
                    return fail(begin);
                continue;
            }
            w.push_back({&it->first, child});
        }
        // A "/" at the end names a directory.
        return p.empty() || p.back() != '/' || w.back().node->kind == Node::Directory ||
               fail(p.size());
    }
    // Walks w to the folder that p's last part would lie in, p's link-free parent.
    Node *folderOf(Walk &w, std::string_view p, int &links)
    {
        if (!walk(w, folderName(p), true, links))
            return nullptr;
        Node *dir = w.back().node;
        return dir->kind == Node::Directory ? dir : nullptr;
    }
    const Node *find(std::string_view p, bool followLast)
    {
        Walk &w = start();
        int links = 0;
        return walk(w, p, followLast, links) ? w.back().node : nullptr;
    }
    bool take(const std::string &where, bool everything)
    {
        Walk &w = start();
        int links = 0;
        Node *dir = folderOf(w, where, links);
        const std::string_view name = baseName(where);
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
    Walk m_walk;
};
