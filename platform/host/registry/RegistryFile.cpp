#include "platform/host/registry/RegistryFile.h"

#include <cstdio>
#include <cstring>
#include <unordered_set>
#include <utility>

#include "platform/host/registry/RegistryText.h"

namespace {

constexpr std::string_view kFirstLine = "WINE REGISTRY Version 2";
// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kFileTimeOf1970 = 116444736000000000LL;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::size_t FirstNonSpace(std::string_view line) {
    std::size_t p = 0;
    while (p < line.size() && IsSpace(line[p])) ++p;
    return p;
}

bool IsBlank(std::string_view text) {
    for (char c : text) {
        if (!IsSpace(c) && c != '\n') return false;
    }
    return true;
}

std::u16string Folded(std::u16string_view s) {
    std::u16string out(s);
    FoldCaseInPlace(out);
    return out;
}

std::u16string ParentOf(std::u16string_view path) {
    const std::size_t cut = path.rfind(u'\\');
    return cut == std::u16string_view::npos ? std::u16string()
                                            : std::u16string(path.substr(0, cut));
}

// The key line "[name\\name] time": returns the position after ']'.
std::size_t ParseKeyLine(std::string_view line, std::u16string& path) {
    const std::size_t p = FirstNonSpace(line);
    path.clear();
    const std::size_t end = ReadEscaped(line, p + 1, ']', path);
    if (!path.empty()) {
        std::size_t begin = 0;
        while (true) {
            const std::size_t cut = path.find(u'\\', begin);
            const std::size_t stop = cut == std::u16string::npos ? path.size() : cut;
            if (stop == begin) throw RegistryTextError("a key name with an empty part");
            if (cut == std::u16string::npos) break;
            begin = cut + 1;
        }
    }
    return end;
}

std::string ErrorText(const std::string& fileName, std::size_t line, const std::string& what) {
    return "The registry file \"" + fileName + "\" cannot be read: line " + std::to_string(line) +
           ": " + what + ".";
}

}  // namespace

ERegistryFileError::ERegistryFileError(const std::string& fileName, std::size_t line,
                                       const std::string& what)
    : Exception(ErrorText(fileName, line, what)), line_(line) {}

struct RegistryFile::LineReader {
    std::string_view text;
    std::size_t pos = 0;
    std::size_t lineNo = 0;  // the number of the line read last

    bool Next(std::string_view& line, std::size_t& start) {
        if (pos >= text.size()) return false;
        start = pos;
        const void* nl = std::memchr(text.data() + pos, '\n', text.size() - pos);
        if (nl == nullptr) {
            line = text.substr(pos);
            pos = text.size();
        } else {
            const std::size_t at = static_cast<const char*>(nl) - text.data();
            line = text.substr(pos, at - pos);
            pos = at + 1;
        }
        ++lineNo;
        return true;
    }
};

// Reads the lines of one key after its key line, up to the next key line. With
// a target, records them as items and values; without, only checks them.
void RegistryFile::ParseBody(LineReader& reader, Section* target) {
    ParsedValue parsed;
    while (true) {
        const std::size_t savedPos = reader.pos;
        const std::size_t savedLine = reader.lineNo;
        std::string_view line;
        std::size_t start = 0;
        if (!reader.Next(line, start)) return;
        const std::size_t p = FirstNonSpace(line);
        const char c = p < line.size() ? line[p] : '\0';
        Item::Kind kind = Item::kOther;
        if (c == '[') {
            reader.pos = savedPos;
            reader.lineNo = savedLine;
            return;
        }
        if (c == '@' || c == '"') {
            ParseValueLine(
                line,
                [&]() -> std::string_view {
                    std::string_view next;
                    std::size_t nextStart = 0;
                    if (!reader.Next(next, nextStart)) {
                        throw RegistryTextError("hex data that goes on past the end of the file");
                    }
                    return next;
                },
                parsed);
            kind = Item::kValue;
        } else if (c == '#') {
            const std::string_view option = line.substr(p);
            if (option.substr(0, 7) == "#class=") {
                if (option.size() < 8 || option[7] != '"') {
                    throw RegistryTextError("a #class option without its quoted name");
                }
                std::u16string className;
                ReadEscaped(option, 8, '"', className);
            }
            if (option.substr(0, 6) == "#time=") kind = Item::kTime;
        } else if (c != ';' && c != '\0') {
            throw RegistryTextError(
                "a line that is neither a key, a value, an option nor a comment");
        }
        if (target == nullptr) continue;
        Item item;
        item.kind = kind;
        item.text.assign(reader.text.substr(start, reader.pos - start));
        if (kind == Item::kValue) {
            SectionValue value;
            value.value.name = std::move(parsed.name);
            value.value.type = parsed.type;
            value.value.data = std::move(parsed.data);
            value.folded = Folded(value.value.name);
            item.value = static_cast<int>(target->values.size());
            target->values.push_back(std::move(value));
            parsed = ParsedValue();
        }
        target->items.push_back(std::move(item));
    }
}

namespace {

// A registry file is text: a zero byte anywhere is refused with its line.
void RefuseZeroByte(std::string_view text, const std::string& fileName) {
    const void* zero = std::memchr(text.data(), '\0', text.size());
    if (zero == nullptr) return;
    const std::size_t at = static_cast<const char*>(zero) - text.data();
    std::size_t line = 1;
    for (std::size_t i = 0; i < at; ++i) line += text[i] == '\n';
    throw ERegistryFileError(fileName, line, "a zero byte in the text");
}

// The lines that start with '[' (at most the key lines), and one more.
std::size_t CountKeyLines(std::string_view text) {
    std::size_t keyLines = 1;
    for (const char* p = text.data();
         (p = static_cast<const char*>(std::memchr(p, '[', text.size() - (p - text.data())))) !=
         nullptr;
         ++p) {
        keyLines += p == text.data() || p[-1] == '\n';
    }
    return keyLines;
}

// The architecture that an "#arch=" option names, after one named before.
RegistryArch ArchOption(std::string_view arch, RegistryArch before) {
    RegistryArch found = RegistryArch::Unknown;
    if (arch == "win32") {
        found = RegistryArch::Win32;
    } else if (arch == "win64") {
        found = RegistryArch::Win64;
    } else {
        throw RegistryTextError("an unknown architecture in #arch (win32 or win64 expected)");
    }
    if (before != RegistryArch::Unknown && before != found) {
        throw RegistryTextError("a second #arch line that contradicts the first");
    }
    return found;
}

}  // namespace

RegistryFile RegistryFile::Parse(std::string content, const std::string& fileName) {
    RegistryFile file;
    file.content_ = std::move(content);
    const std::string_view text(file.content_);
    RefuseZeroByte(text, fileName);
    // Room for every key at once: a large file is read without rehashing.
    file.ReserveKeys(CountKeyLines(text));
    LineReader reader{text};
    try {
        file.ParseHeader(reader);
        file.ParseKeys(reader);
    } catch (const RegistryTextError& e) {
        throw ERegistryFileError(fileName, reader.lineNo, e.what());
    }
    return file;
}

void RegistryFile::ReserveKeys(std::size_t keyLines) {
    sections_.reserve(keyLines);
    nodes_.reserve(keyLines + keyLines / 4);
    nodes_.try_emplace(std::pmr::u16string(nodes_.get_allocator()));
}

void RegistryFile::ParseHeader(LineReader& reader) {
    std::string_view line;
    std::size_t start = 0;
    if (!reader.Next(line, start) || line != kFirstLine) {
        reader.lineNo = 1;
        throw RegistryTextError("the first line is not \"WINE REGISTRY Version 2\"");
    }
    headerSize_ = reader.text.size();
    while (true) {
        const std::size_t savedPos = reader.pos;
        const std::size_t savedLine = reader.lineNo;
        if (!reader.Next(line, start)) return;
        const std::size_t p = FirstNonSpace(line);
        const char c = p < line.size() ? line[p] : '\0';
        if (c == '[') {
            reader.pos = savedPos;
            reader.lineNo = savedLine;
            headerSize_ = start;
            return;
        }
        if (c == '#') {
            if (line.substr(p, 6) == "#arch=") arch_ = ArchOption(line.substr(p + 6), arch_);
            continue;
        }
        if (c == ';' || c == '\0') continue;
        if (c == '@' || c == '"') throw RegistryTextError("a value before the first key");
        throw RegistryTextError("a line that is neither a key, a value, an option nor a comment");
    }
}

void RegistryFile::ParseKeys(LineReader& reader) {
    std::u16string path;
    std::string_view line;
    std::size_t start = 0;
    while (reader.Next(line, start)) {
        Section section;
        section.firstLine = reader.lineNo;
        section.rawBegin = start;
        ParseKeyLine(line, path);
        FoldCaseInPlace(path);
        ParseBody(reader, nullptr);
        section.rawSize = reader.pos - start;
        const auto index = static_cast<std::uint32_t>(sections_.size());
        InsertNode(path).Add(index);
        sections_.push_back(std::move(section));
    }
}

RegistryFile RegistryFile::Empty(std::string_view relativeTo, RegistryArch arch) {
    RegistryFile file;
    file.arch_ = arch == RegistryArch::Win64 ? RegistryArch::Win64 : RegistryArch::Win32;
    file.newHeader_ = std::string(kFirstLine) + "\n;; All keys relative to " +
                      std::string(relativeTo) +
                      "\n\n#arch=" + (file.arch_ == RegistryArch::Win64 ? "win64" : "win32") + "\n";
    file.nodes_.try_emplace(std::pmr::u16string(file.nodes_.get_allocator()));
    return file;
}

std::vector<std::uint32_t> RegistryFile::Node::Sections() const {
    std::vector<std::uint32_t> all;
    if (first == kNone) return all;
    all.reserve(1 + more.size());
    all.push_back(first);
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

RegistryFile::Node& RegistryFile::InsertNode(std::u16string_view folded) {
    auto [it, inserted] = nodes_.try_emplace(std::pmr::u16string(folded, nodes_.get_allocator()));
    Node& node = it->second;
    // Link a new key to its parent, making the parents that exist only through
    // it. Wine writes keys in order, so the parent is mostly the last one seen.
    std::u16string_view child = inserted ? folded : std::u16string_view();
    while (!child.empty()) {
        const std::size_t cut = child.rfind(u'\\');
        const std::u16string_view parent =
            cut == std::u16string_view::npos ? std::u16string_view() : child.substr(0, cut);
        if (lastParent_ != nullptr && parent == lastParentName_) {
            ++lastParent_->children;
            break;
        }
        auto [parentIt, parentInserted] =
            nodes_.try_emplace(std::pmr::u16string(parent, nodes_.get_allocator()));
        ++parentIt->second.children;
        lastParentName_ = parentIt->first;
        lastParent_ = &parentIt->second;
        if (!parentInserted) break;
        child = parent;
    }
    return node;
}

RegistryFile::Node* RegistryFile::FindNode(std::u16string_view path) {
    const auto it = nodes_.find(std::u16string_view(Folded(path)));
    return it == nodes_.end() ? nullptr : &it->second;
}

const RegistryFile::Node* RegistryFile::FindNode(std::u16string_view path) const {
    const auto it = nodes_.find(std::u16string_view(Folded(path)));
    return it == nodes_.end() ? nullptr : &it->second;
}

void RegistryFile::Materialise(Section& section) {
    if (section.materialised) return;
    LineReader reader{std::string_view(content_).substr(section.rawBegin, section.rawSize)};
    reader.lineNo = section.firstLine - 1;
    std::string_view line;
    std::size_t start = 0;
    reader.Next(line, start);
    std::u16string path;
    const std::size_t headEnd = ParseKeyLine(line, path);
    section.head.assign(line.substr(0, headEnd));
    ParseBody(reader, &section);
    bool hasTime = false;
    for (const Item& item : section.items) hasTime = hasTime || item.kind == Item::kTime;
    if (!hasTime) section.items.insert(section.items.begin(), Item{Item::kTime, {}, -1});
    section.materialised = true;
}

void RegistryFile::Touch(Section& section, Clock::time_point now) {
    const auto ticks =
        std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count() / 100;
    section.time = ticks / 10000000;
    section.fileTime = ticks + kFileTimeOf1970;
    section.dirty = true;
}

std::uint32_t RegistryFile::AddSection(std::u16string_view path, Clock::time_point now) {
    Section section;
    section.isNew = section.materialised = true;
    section.head = "[";
    WriteEscaped(path, "[]", false, section.head);
    section.head += "]";
    section.items.push_back(Item{Item::kTime, {}, -1});
    Touch(section, now);
    sections_.push_back(std::move(section));
    return static_cast<std::uint32_t>(sections_.size() - 1);
}

bool RegistryFile::KeyExists(std::u16string_view path) const { return FindNode(path) != nullptr; }

bool RegistryFile::CreateKey(std::u16string_view path, Clock::time_point now) {
    std::u16string folded = Folded(path);
    if (nodes_.find(std::u16string_view(folded)) != nodes_.end()) return false;
    const std::uint32_t index = AddSection(path, now);
    InsertNode(folded).Add(index);
    return true;
}

RegistryFile::DeleteResult RegistryFile::DeleteKey(std::u16string_view path,
                                                   Clock::time_point now) {
    const std::u16string folded = Folded(path);
    const auto it = nodes_.find(std::u16string_view(folded));
    if (it == nodes_.end() || folded.empty()) return DeleteResult::NotFound;
    if (it->second.children != 0) return DeleteResult::HasSubkeys;
    for (std::uint32_t index : it->second.Sections()) sections_[index].removed = true;
    lastParent_ = nullptr;
    nodes_.erase(it);
    const std::u16string parentFolded = ParentOf(folded);
    Node& parent = nodes_.find(std::u16string_view(parentFolded))->second;
    --parent.children;
    // A key that only existed as the parent of the deleted one must stay: give
    // it a text of its own.
    if (parent.children == 0 && parent.Empty() && !parentFolded.empty()) {
        const std::uint32_t index = AddSection(path.substr(0, parentFolded.size()), now);
        parent.Add(index);
    }
    return DeleteResult::Deleted;
}

RegistryFile::SectionValue* RegistryFile::FindValue(Node& node, const std::u16string& folded,
                                                    Section** owner) {
    const std::vector<std::uint32_t> sections = node.Sections();
    for (auto s = sections.rbegin(); s != sections.rend(); ++s) {
        Section& section = sections_[*s];
        Materialise(section);
        for (auto v = section.values.rbegin(); v != section.values.rend(); ++v) {
            if (!v->removed && v->folded == folded) {
                if (owner != nullptr) *owner = &section;
                return &*v;
            }
        }
    }
    return nullptr;
}

bool RegistryFile::QueryValue(std::u16string_view path, std::u16string_view name, Value& value) {
    Node* node = FindNode(path);
    if (node == nullptr) return false;
    const SectionValue* found = FindValue(*node, Folded(name), nullptr);
    if (found == nullptr) return false;
    value = found->value;
    return true;
}

bool RegistryFile::SetValue(std::u16string_view path, const Value& value, Clock::time_point now) {
    Node* node = FindNode(path);
    if (node == nullptr) return false;
    std::u16string folded = Folded(value.name);
    Section* owner = nullptr;
    if (SectionValue* found = FindValue(*node, folded, &owner)) {
        // The name keeps the case it was first written with, as on Windows.
        found->value.type = value.type;
        found->value.data = value.data;
        found->changed = true;
        Touch(*owner, now);
        return true;
    }
    if (node->Empty()) {
        const std::uint32_t index = AddSection(path, now);
        node->Add(index);
    }
    Section& section = sections_[node->Last()];
    Materialise(section);
    std::size_t at = section.items.size();
    while (at > 0 && section.items[at - 1].kind == Item::kOther &&
           IsBlank(section.items[at - 1].text)) {
        --at;
    }
    if (at > 0 && !section.items[at - 1].text.empty() &&
        section.items[at - 1].text.back() != '\n') {
        section.items[at - 1].text += '\n';
    }
    SectionValue added;
    added.value = value;
    added.folded = std::move(folded);
    added.changed = true;
    section.items.insert(section.items.begin() + static_cast<std::ptrdiff_t>(at),
                         Item{Item::kValue, {}, static_cast<int>(section.values.size())});
    section.values.push_back(std::move(added));
    Touch(section, now);
    return true;
}

bool RegistryFile::DeleteValue(std::u16string_view path, std::u16string_view name,
                               Clock::time_point now) {
    Node* node = FindNode(path);
    if (node == nullptr) return false;
    const std::u16string folded = Folded(name);
    bool found = false;
    for (std::uint32_t index : node->Sections()) {
        Section& section = sections_[index];
        Materialise(section);
        for (SectionValue& value : section.values) {
            if (!value.removed && value.folded == folded) {
                value.removed = true;
                found = true;
                Touch(section, now);
            }
        }
    }
    return found;
}

bool RegistryFile::QueryInfo(std::u16string_view path, std::uint32_t& subKeys,
                             std::uint32_t& values) {
    Node* node = FindNode(path);
    if (node == nullptr) return false;
    subKeys = node->children;
    std::unordered_set<std::u16string> names;
    for (std::uint32_t index : node->Sections()) {
        Section& section = sections_[index];
        Materialise(section);
        for (const SectionValue& value : section.values) {
            if (!value.removed) names.insert(value.folded);
        }
    }
    values = static_cast<std::uint32_t>(names.size());
    return true;
}

void RegistryFile::AppendSection(const Section& section, std::string& out) const {
    if (section.isNew) {
        // Keys are separated by one blank line.
        if (!out.empty() && out.back() != '\n') out += '\n';
        if (out.size() < 2 || out.compare(out.size() - 2, 2, "\n\n") != 0) out += '\n';
    }
    out += section.head;
    out += ' ';
    out += std::to_string(section.time);
    out += '\n';
    for (const Item& item : section.items) {
        if (item.kind == Item::kTime) {
            char buffer[40];
            const auto ft = static_cast<std::uint64_t>(section.fileTime);
            std::snprintf(buffer, sizeof buffer, "#time=%x%08x\n", static_cast<unsigned>(ft >> 32),
                          static_cast<unsigned>(ft & 0xFFFFFFFFu));
            out += buffer;
        } else if (item.kind == Item::kValue) {
            const SectionValue& value = section.values[static_cast<std::size_t>(item.value)];
            if (value.removed) continue;
            out += value.changed
                       ? FormatValueLine(value.value.name, value.value.type, value.value.data)
                       : item.text;
        } else {
            out += item.text;
        }
    }
}

std::string RegistryFile::Serialize() const {
    std::string out;
    out.reserve(content_.size() + 4096);
    if (!newHeader_.empty()) {
        out = newHeader_;
    } else {
        out.append(content_, 0, headerSize_);
    }
    for (const Section& section : sections_) {
        if (section.removed) continue;
        if (section.dirty || section.isNew) {
            AppendSection(section, out);
        } else {
            out.append(content_, section.rawBegin, section.rawSize);
        }
    }
    return out;
}
