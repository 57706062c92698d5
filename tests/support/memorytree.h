#pragma once

#include "devicefiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
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
    MemoryTree() { clear(); }

    // Only "/" left.
    void clear() { m_root = std::make_unique<Node>(); }

    // A directory and any parents it lacks (as mkdir -p).
    bool makeDirectories(const std::string &where)
    {
        Walk &w = start();
        int links = 0;
        return walk(w, where, true, links, true) && w.back()->kind == Node::Directory;
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
            Node *found = dir->find(name);
            Node &node = found ? *found : dir->add(name, Node::File);
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
        if (!dir || !isName(name) || target.empty() || dir->find(name))
            return false;
        dir->add(name, Node::Link).text = target;
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
        if (!dir || !isName(name) || dir->find(name))
            return false;
        // Up from the folder to the deepest folder the two share, then down to the target.
        const std::string from = w.size() > 1 ? reached(w, "/") : "/";
        const std::string to = weaklyCanonical(target);
        if (to.empty())
            return false;
        const std::string down = to.back() == '/' ? to : to + "/";
        size_t shared = 0;
        for (size_t i = 0; i < from.size() && i < down.size() && from[i] == down[i]; ++i)
            if (from[i] == '/')
                shared = i + 1;
        std::string way;
        way.reserve(from.size() + down.size());
        for (size_t i = shared; i < from.size(); ++i)
            if (from[i] == '/')
                way += "../";
        way.append(down, shared, std::string::npos);
        if (way.size() > 1 && to.back() != '/')
            way.pop_back();
        dir->add(name, Node::Link).text = way.empty() ? "." : std::move(way);
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
    bool copyTo(const std::string &where)
    {
        const Node *n = find(where, false);
        return n && copy(*n, where);
    }

    std::string canonical(const std::string &p) override
    {
        Walk &w = start();
        int links = 0;
        return walk(w, p, true, links) ? reached(w) : std::string();
    }
    std::string readLink(const std::string &p) override
    {
        const Node *n = find(p, false);
        return n && n->kind == Node::Link ? n->text : std::string();
    }
    bool exists(const std::string &p) override { return find(p, true) != nullptr; }
    bool isDirectory(const std::string &p) override
    {
        const Node *n = find(p, true);
        return n && n->kind == Node::Directory;
    }
    std::string readLine(const std::string &p) override
    {
        const Node *n = find(p, true);
        if (!n || n->kind != Node::File)
            return std::string();
        return n->text.substr(0, n->text.find('\n'));
    }
    std::vector<std::string> list(const std::string &p) override
    {
        std::vector<std::string> names;
        if (const Node *n = find(p, true); n && n->kind == Node::Directory)
            for (const auto &entry : n->entries)
                names.push_back(entry->name);
        return names;
    }

private:
    static constexpr int kMaxLinks = 40;

    struct Node
    {
        enum Kind { Directory, File, Link } kind = Directory;
        std::string name; // in its folder
        // A directory's entries, in the order they were made: a folder in sysfs holds a
        // few, so a search from the front is the quickest.
        std::vector<std::unique_ptr<Node>> entries;
        std::string text; // a file's bytes, a link's target

        Node *find(std::string_view entry) const
        {
            for (const auto &n : entries)
                if (n->name == entry)
                    return n.get();
            return nullptr;
        }
        Node &add(std::string_view entry, Kind k)
        {
            entries.push_back(std::make_unique<Node>());
            Node &n = *entries.back();
            n.kind = k;
            n.name = entry;
            return n;
        }
    };
    // Where a walk stands: the directories from "/" down, and last what it reached.
    using Walk = std::vector<Node *>;

    // A walk from "/", reusing one vector: paths are resolved for every read.
    Walk &start()
    {
        m_walk.assign(1, m_root.get());
        return m_walk;
    }

    // The path a walk has reached, from "/".
    static std::string reached(const Walk &w, std::string_view more = {})
    {
        size_t size = more.size();
        for (size_t i = 1; i < w.size(); ++i)
            size += 1 + w[i]->name.size();
        std::string out;
        out.reserve(std::max<size_t>(size, 1));
        for (size_t i = 1; i < w.size(); ++i)
            out.append("/").append(w[i]->name);
        return out.append(out.empty() && more.empty() ? "/" : more);
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
    // is followed when followLast says so, and a "/" at the end asks for a directory.
    // With makeMissing, missing directories are made. On failure, missingAt (when given)
    // tells where in p the part starts that could not be followed.
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
            Node *dir = w.back();
            if (dir->kind != Node::Directory)
                return fail(begin);
            if (name == ".")
                continue;
            if (name == "..") {
                if (w.size() > 1)
                    w.pop_back();
                continue;
            }
            Node *child = dir->find(name);
            if (!child) {
                if (!makeMissing)
                    return fail(begin);
                child = &dir->add(name, Node::Directory);
            }
            if (child->kind == Node::Link && (!last || followLast)) {
                if (++links > kMaxLinks || !walk(w, child->text, true, links))
                    return fail(begin);
                continue;
            }
            w.push_back(child);
        }
        // A "/" at the end names a directory.
        return p.empty() || p.back() != '/' || w.back()->kind == Node::Directory || fail(p.size());
    }
    // Walks w to the folder that p's last part would lie in, p's link-free parent.
    Node *folderOf(Walk &w, std::string_view p, int &links)
    {
        if (!walk(w, folderName(p), true, links))
            return nullptr;
        Node *dir = w.back();
        return dir->kind == Node::Directory ? dir : nullptr;
    }
    const Node *find(std::string_view p, bool followLast)
    {
        Walk &w = start();
        int links = 0;
        return walk(w, p, followLast, links) ? w.back() : nullptr;
    }
    bool take(const std::string &where, bool everything)
    {
        Walk &w = start();
        int links = 0;
        Node *dir = folderOf(w, where, links);
        const std::string_view name = baseName(where);
        if (!dir || !isName(name))
            return false;
        const auto it = std::find_if(dir->entries.begin(), dir->entries.end(),
                                     [&](const auto &n) { return n->name == name; });
        if (it == dir->entries.end() ||
            (!everything && (*it)->kind == Node::Directory && !(*it)->entries.empty()))
            return false;
        dir->entries.erase(it);
        return true;
    }
    static bool copy(const Node &node, const std::filesystem::path &to)
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
                if (!copy(*entry, to / entry->name))
                    return false;
            return !ec;
        }
        return false;
    }

    std::unique_ptr<Node> m_root;
    Walk m_walk;
};
