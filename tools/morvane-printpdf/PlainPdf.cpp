#include "PlainPdf.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Beyond these the file is not plain here: the library decides.
constexpr long long MaxObjects = 500000;
constexpr std::size_t MaxObjectBytes = 1 << 20;
constexpr int MaxDepth = 32;
constexpr int MaxTreeDepth = 64;

struct Value
{
    enum Kind
    {
        Null,
        Bool,
        Int,
        Real,
        Name,
        String,
        Array,
        Dict,
        Ref,
        Keyword
    } kind = Null;
    long long number = 0;
    int gen = 0;
    std::string text; // a name (raw, without the slash) or a keyword
    std::vector<Value> items;
    // A dictionary's keys and their values, side by side: a pair of a type
    // still being defined is not portable.
    std::vector<std::string> keys;
    std::vector<Value> values;

    const Value* get(std::string_view key) const
    {
        for (std::size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == key)
                return &values[i];
        return nullptr;
    }
    bool isName(std::string_view name) const { return kind == Name && text == name; }
};

// A parser of one stretch of the file. Running out of bytes is told apart
// from bad syntax, so that the caller can read more and try again.
class Parser
{
public:
    explicit Parser(std::string_view data) : m_data(data) {}

    bool short_() const { return m_short; }
    std::size_t pos() const { return m_pos; }

    // The next value; false on bad syntax or at the end of the bytes.
    bool value(Value* out, int depth = 0)
    {
        if (depth > MaxDepth)
            return false;
        skipSpace();
        if (m_pos >= m_data.size())
            return end();
        const char c = m_data[m_pos];
        if (c == '/') {
            ++m_pos;
            out->kind = Value::Name;
            out->text = regular();
            return true;
        }
        if (c == '(')
            return literal(out);
        if (c == '<') {
            if (m_pos + 1 >= m_data.size())
                return end();
            if (m_data[m_pos + 1] == '<')
                return dict(out, depth);
            const std::size_t close = m_data.find('>', m_pos);
            if (close == std::string_view::npos)
                return end();
            m_pos = close + 1;
            out->kind = Value::String;
            return true;
        }
        if (c == '[') {
            ++m_pos;
            out->kind = Value::Array;
            for (;;) {
                skipSpace();
                if (m_pos >= m_data.size())
                    return end();
                if (m_data[m_pos] == ']') {
                    ++m_pos;
                    return true;
                }
                Value item;
                if (!value(&item, depth + 1))
                    return false;
                foldRef(&out->items, std::move(item));
            }
        }
        if (c == ']' || c == '>' || c == ')' || c == '{' || c == '}')
            return false;
        const std::string word = regular();
        if (word.empty())
            return false;
        // At the end of the bytes a number or keyword may go on.
        if (m_pos >= m_data.size())
            return end();
        return scalar(word, out);
    }

    // The next bare word ("obj", "xref", "trailer", ...).
    std::string keyword()
    {
        skipSpace();
        return regular();
    }

private:
    static bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0'; }
    static bool isDelimiter(char c) { return std::strchr("()<>[]{}/%", c) != nullptr; }

    bool end()
    {
        m_short = true;
        return false;
    }

    void skipSpace()
    {
        while (m_pos < m_data.size()) {
            if (isSpace(m_data[m_pos])) {
                ++m_pos;
            } else if (m_data[m_pos] == '%') {
                while (m_pos < m_data.size() && m_data[m_pos] != '\n' && m_data[m_pos] != '\r')
                    ++m_pos;
            } else {
                break;
            }
        }
    }

    std::string regular()
    {
        const std::size_t from = m_pos;
        while (m_pos < m_data.size() && !isSpace(m_data[m_pos]) && !isDelimiter(m_data[m_pos]))
            ++m_pos;
        return std::string(m_data.substr(from, m_pos - from));
    }

    static bool integer(const std::string& word, long long* n)
    {
        if (word.empty() || word.size() > 18)
            return false;
        std::size_t i = word[0] == '+' || word[0] == '-' ? 1 : 0;
        if (i == word.size())
            return false;
        for (std::size_t k = i; k < word.size(); ++k)
            if (word[k] < '0' || word[k] > '9')
                return false;
        *n = std::strtoll(word.c_str(), nullptr, 10);
        return true;
    }

    bool scalar(const std::string& word, Value* out)
    {
        if (integer(word, &out->number)) {
            out->kind = Value::Int;
            return true;
        }
        if (word == "true" || word == "false") {
            out->kind = Value::Bool;
            return true;
        }
        if (word == "null") {
            out->kind = Value::Null;
            return true;
        }
        if (word.find_first_not_of("+-.0123456789") == std::string::npos) {
            out->kind = Value::Real;
            return true;
        }
        out->kind = Value::Keyword;
        out->text = word;
        return true;
    }

    bool literal(Value* out)
    {
        int nesting = 0;
        while (++m_pos < m_data.size()) {
            const char c = m_data[m_pos];
            if (c == '\\')
                ++m_pos;
            else if (c == '(')
                ++nesting;
            else if (c == ')' && nesting-- == 0) {
                ++m_pos;
                out->kind = Value::String;
                return true;
            }
        }
        return end();
    }

    bool dict(Value* out, int depth)
    {
        m_pos += 2;
        out->kind = Value::Dict;
        for (;;) {
            skipSpace();
            if (m_pos + 1 >= m_data.size())
                return end();
            if (m_data[m_pos] == '>') {
                if (m_data[m_pos + 1] != '>')
                    return false;
                m_pos += 2;
                return true;
            }
            Value key, item;
            if (!value(&key, depth + 1) || key.kind != Value::Name || !value(&item, depth + 1))
                return false;
            // "N G R" is three words: after a number, a number and R make a reference.
            if (item.kind == Value::Int) {
                const std::size_t back = m_pos;
                Value gen, r;
                std::vector<Value> parts;
                parts.push_back(std::move(item));
                if (value(&gen, depth + 1) && gen.kind == Value::Int) {
                    parts.push_back(std::move(gen));
                    if (value(&r, depth + 1))
                        foldRef(&parts, std::move(r));
                }
                if (m_short)
                    return false;
                if (parts.size() != 1 || parts.front().kind != Value::Ref) {
                    m_pos = back;
                    parts.resize(1);
                }
                item = std::move(parts.front());
            }
            out->keys.push_back(key.text);
            out->values.push_back(std::move(item));
        }
    }

    // Turns "N G R" at the end of a list into one reference.
    static void foldRef(std::vector<Value>* list, Value next)
    {
        const std::size_t n = list->size();
        if (next.kind == Value::Keyword && next.text == "R" && n >= 2 && (*list)[n - 2].kind == Value::Int &&
            (*list)[n - 1].kind == Value::Int && (*list)[n - 2].number > 0 && (*list)[n - 1].number >= 0 &&
            (*list)[n - 1].number < 65536) {
            Value ref;
            ref.kind = Value::Ref;
            ref.number = (*list)[n - 2].number;
            ref.gen = static_cast<int>((*list)[n - 1].number);
            list->resize(n - 2);
            list->push_back(std::move(ref));
            return;
        }
        list->push_back(std::move(next));
    }

    std::string_view m_data;
    std::size_t m_pos = 0;
    bool m_short = false;
};

class File
{
public:
    File(int fd, off_t size) : m_fd(fd), m_size(size) {}

    // Bytes from offset on, at most n.
    std::string read(off_t offset, std::size_t n) const
    {
        if (offset < 0 || offset >= m_size)
            return std::string();
        n = static_cast<std::size_t>(std::min<off_t>(static_cast<off_t>(n), m_size - offset));
        std::string data(n, '\0');
        const ssize_t got = ::pread(m_fd, data.data(), n, offset);
        data.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return data;
    }
    off_t size() const { return m_size; }

private:
    int m_fd;
    off_t m_size;
};

struct Entry
{
    long long offset = 0;
    int gen = 0;
};

// The single cross-reference table and its trailer at the offset startxref names.
bool ReadTable(const File& file, long long at, std::map<long long, Entry>* table, Value* trailer)
{
    // Read in growing windows: a short read that ran out of bytes is tried again with more.
    for (std::size_t n = 64 * 1024; n <= 24u * 1024 * 1024; n *= 4) {
        const std::string data = file.read(at, n);
        Parser p(data);
        table->clear();
        *trailer = Value();
        const auto parse = [&] {
            if (p.keyword() != "xref")
                return false;
            for (;;) {
                Value first, count;
                if (!p.value(&first))
                    return false;
                if (first.kind == Value::Keyword && first.text == "trailer")
                    return p.value(trailer) && trailer->kind == Value::Dict;
                if (first.kind != Value::Int || !p.value(&count) || count.kind != Value::Int || first.number < 0 ||
                    count.number < 0 || first.number + count.number > MaxObjects)
                    return false;
                for (long long i = 0; i < count.number; ++i) {
                    Value offset, gen, type;
                    if (!p.value(&offset) || !p.value(&gen) || !p.value(&type) || offset.kind != Value::Int ||
                        gen.kind != Value::Int || type.kind != Value::Keyword || (type.text != "n" && type.text != "f"))
                        return false;
                    if (type.text == "n")
                        (*table)[first.number + i] = Entry{offset.number, static_cast<int>(gen.number)};
                    else
                        table->erase(first.number + i);
                }
            }
        };
        if (parse())
            return true;
        if (!p.short_() || data.size() < n)
            return false;
    }
    return false;
}

class Document
{
public:
    Document(const File& file, std::map<long long, Entry> table) : m_file(file), m_table(std::move(table)) {}

    // The object a reference names, found as "N G obj" exactly where the table says.
    bool fetch(const Value& ref, Value* out) const
    {
        if (ref.kind != Value::Ref)
            return false;
        const auto entry = m_table.find(ref.number);
        if (entry == m_table.end() || entry->second.gen != ref.gen)
            return false;
        for (std::size_t n = 4096; n <= MaxObjectBytes; n *= 4) {
            const std::string data = m_file.read(entry->second.offset, n);
            Parser p(data);
            Value num, gen;
            if (!p.value(&num) || !p.value(&gen) || num.kind != Value::Int || gen.kind != Value::Int ||
                num.number != ref.number || gen.number != ref.gen || p.keyword() != "obj")
                return false;
            *out = Value();
            if (p.value(out))
                return true;
            if (!p.short_() || data.size() < n)
                return false;
        }
        return false;
    }

    std::size_t objects() const { return m_table.size(); }

    // Whether every object the table names starts as "N G obj" where it says.
    // The library rebuilds the whole table from a scan of the file when one
    // it reads does not, and the rebuilt file may count other pages.
    bool everyObjectWhereTheTableSays() const
    {
        for (const auto& [number, entry] : m_table) {
            const std::string data = m_file.read(entry.offset, 64);
            Parser p(data);
            Value num, gen;
            if (!p.value(&num) || !p.value(&gen) || num.kind != Value::Int || gen.kind != Value::Int ||
                num.number != number || gen.number != entry.gen || p.keyword() != "obj")
                return false;
        }
        return true;
    }

private:
    const File& m_file;
    std::map<long long, Entry> m_table;
};

// Counts the pages under a Pages node; false where the tree is not plain.
bool CountPages(const Document& doc, const Value& node, std::set<long long>* seen, int depth, long long* pages)
{
    const Value* kids = node.get("Kids");
    if (depth > MaxTreeDepth || !node.get("Type") || !node.get("Type")->isName("Pages") || !kids ||
        kids->kind != Value::Array)
        return false;
    for (const Value& ref : kids->items) {
        // Each object once: a page or node met twice is no plain tree.
        if (ref.kind != Value::Ref || !seen->insert(ref.number).second)
            return false;
        Value kid;
        if (!doc.fetch(ref, &kid) || kid.kind != Value::Dict)
            return false;
        const Value* type = kid.get("Type");
        if (type && type->isName("Page") && !kid.get("Kids")) {
            const Value* contents = kid.get("Contents");
            if (contents && contents->kind != Value::Ref && contents->kind != Value::Array)
                return false;
            // The library gives up a page whose annotations are no array.
            if (const Value* annots = kid.get("Annots")) {
                Value list;
                if (annots->kind != Value::Array && (!doc.fetch(*annots, &list) || list.kind != Value::Array))
                    return false;
            }
            if (++*pages > MaxObjects)
                return false;
        } else if (!CountPages(doc, kid, seen, depth + 1, pages)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool PlainPdfPages(int fd, int* pages)
{
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || st.st_size < 32)
        return false;
    const File file(fd, st.st_size);
    // A linearized file has a second table at its beginning: for the library.
    const std::string head = file.read(0, 1024);
    // The library counts every offset from the first "%PDF-" it meets: where
    // that is not the file's first byte, the offsets mean something else to it.
    if (head.compare(0, 5, "%PDF-") != 0)
        return false;
    if (head.find("/Linearized") != std::string::npos)
        return false;
    const std::string tail = file.read(std::max<off_t>(0, st.st_size - 1024), 1024);
    const std::size_t mark = tail.rfind("startxref");
    if (mark == std::string::npos)
        return false;
    Parser p(std::string_view(tail).substr(mark + 9));
    Value at;
    if (!p.value(&at) || at.kind != Value::Int || at.number <= 0 || at.number >= st.st_size)
        return false;

    std::map<long long, Entry> table;
    Value trailer;
    if (!ReadTable(file, at.number, &table, &trailer))
        return false;
    // An encrypted file, an update on top of an older table, or a table of
    // objects packed in streams: not plain.
    if (trailer.get("Encrypt") || trailer.get("Prev") || trailer.get("XRefStm"))
        return false;
    const Value* size = trailer.get("Size");
    if (!size || size->kind != Value::Int || table.empty() || table.rbegin()->first >= size->number)
        return false;
    const Value* rootRef = trailer.get("Root");
    if (!rootRef)
        return false;

    // Beyond this many objects the reading of every header costs more than the library.
    if (table.size() > 100000)
        return false;
    const Document doc(file, std::move(table));
    if (!doc.everyObjectWhereTheTableSays())
        return false;
    Value root, tree;
    if (!doc.fetch(*rootRef, &root) || root.kind != Value::Dict || !root.get("Type") ||
        !root.get("Type")->isName("Catalog") || !root.get("Pages") || !doc.fetch(*root.get("Pages"), &tree) ||
        tree.kind != Value::Dict)
        return false;
    const Value* count = tree.get("Count");
    std::set<long long> seen{rootRef->number, root.get("Pages")->number};
    long long found = 0;
    if (!count || count->kind != Value::Int || count->number < 1 ||
        static_cast<std::size_t>(count->number) > doc.objects() || !CountPages(doc, tree, &seen, 0, &found) ||
        found != count->number)
        return false;
    *pages = static_cast<int>(found);
    return true;
}
