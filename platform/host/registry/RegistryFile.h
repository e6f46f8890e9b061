// One registry file of Wine (system.reg or user.reg) in memory. The text of
// every key is kept as it was read, so that saving writes the keys that were
// not changed back byte for byte and re-writes only the changed ones, in the
// form Wine itself writes. Paths are key names joined by single backslashes,
// relative to the file's root key; names compare case-insensitively.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Exceptions.h"

// A registry file that cannot be read: names the file and the line.
class ERegistryFileError : public Exception {
  public:
    ERegistryFileError(const std::string& fileName, std::size_t line, const std::string& what);
    std::size_t Line() const { return line_; }
    const char* ClassName() const override { return "ERegistryFileError"; }

  private:
    std::size_t line_;
};

enum class RegistryArch { Unknown, Win32, Win64 };

class RegistryFile {
  public:
    using Clock = std::chrono::system_clock;

    // Parses the whole text of a file; throws ERegistryFileError.
    static RegistryFile Parse(std::string content, const std::string& fileName);
    RegistryFile(RegistryFile&&) = default;
    // (Not assignable: the index lives in memory of the file's own.)
    RegistryFile& operator=(RegistryFile&&) = delete;

    // A file without keys: its header names the root (for example
    // "REGISTRY\\Machine", written with doubled backslashes) and the architecture.
    static RegistryFile Empty(std::string_view relativeTo, RegistryArch arch);

    RegistryArch Arch() const { return arch_; }
    std::size_t KeyCount() const { return nodes_.size(); }
    std::string Serialize() const;

    bool KeyExists(std::u16string_view path) const;
    // Creates the key with every missing parent; false when it existed already.
    bool CreateKey(std::u16string_view path, Clock::time_point now);
    enum class DeleteResult { Deleted, NotFound, HasSubkeys };
    DeleteResult DeleteKey(std::u16string_view path, Clock::time_point now);

    struct Value {
        std::u16string name;
        std::uint32_t type = 0;
        std::string data;  // as Wine keeps it: UTF-16LE with its zero for string types
    };
    // The value of an existing key; false when the key or the value is missing.
    bool QueryValue(std::u16string_view path, std::u16string_view name, Value& value);
    // Sets a value of an existing key (false when the key is missing).
    bool SetValue(std::u16string_view path, const Value& value, Clock::time_point now);
    // False when the key or the value is missing.
    bool DeleteValue(std::u16string_view path, std::u16string_view name, Clock::time_point now);
    // The numbers of direct subkeys and of values; false when the key is missing.
    bool QueryInfo(std::u16string_view path, std::uint32_t& subKeys, std::uint32_t& values);

  private:
    RegistryFile() = default;
    struct Item {
        enum Kind : std::uint8_t { kOther, kTime, kValue } kind = kOther;
        std::string text;  // the original line(s), newline included
        int value = -1;    // index into Section::values for kValue
    };
    struct SectionValue {
        Value value;
        std::u16string folded;
        bool changed = false;
        bool removed = false;
    };
    struct Section {
        std::size_t rawBegin = 0, rawSize = 0;  // original text in content_
        std::size_t firstLine = 0;
        bool materialised = false, dirty = false, removed = false, isNew = false;
        std::int64_t time = 0;  // Unix seconds, for a changed key
        std::int64_t fileTime = 0;
        std::string head;  // the key line up to and including ']'
        std::vector<Item> items;
        std::vector<SectionValue> values;
    };
    // A key: the sections of the file that hold it (a key may be repeated)
    // and the number of its direct subkeys.
    struct Node {
        static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
        std::uint32_t first = kNone;
        std::vector<std::uint32_t> more;
        std::uint32_t children = 0;
        bool Empty() const { return first == kNone; }
        void Add(std::uint32_t index) {
            if (first == kNone) {
                first = index;
            } else {
                more.push_back(index);
            }
        }
        std::uint32_t Last() const { return more.empty() ? first : more.back(); }
        std::vector<std::uint32_t> Sections() const;
    };
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::u16string_view s) const {
            return std::hash<std::u16string_view>{}(s);
        }
    };

    struct LineReader;
    // The steps of Parse: the room for the keys, the header up to the first key
    // line (the first line and the options before the keys), then the keys.
    void ReserveKeys(std::size_t keyLines);
    void ParseHeader(LineReader& reader);
    void ParseKeys(LineReader& reader);
    static void ParseBody(LineReader& reader, Section* target);
    Node* FindNode(std::u16string_view path);
    const Node* FindNode(std::u16string_view path) const;
    Node& InsertNode(std::u16string_view folded);
    void Materialise(Section& section);
    std::uint32_t AddSection(std::u16string_view path, Clock::time_point now);
    void Touch(Section& section, Clock::time_point now);
    SectionValue* FindValue(Node& node, const std::u16string& folded, Section** owner);
    void AppendSection(const Section& section, std::string& out) const;

    std::string content_;
    std::size_t headerSize_ = 0;
    std::string newHeader_;  // the header of a file made by Empty()
    RegistryArch arch_ = RegistryArch::Unknown;
    std::vector<Section> sections_;
    // The index of keys by folded name; its memory is released all at once.
    std::unique_ptr<std::pmr::monotonic_buffer_resource> arena_ =
        std::make_unique<std::pmr::monotonic_buffer_resource>();
    std::pmr::unordered_map<std::pmr::u16string, Node, NameHash, std::equal_to<>> nodes_{
        arena_.get()};
    // The parent that InsertNode found last (nodes do not move in the map).
    Node* lastParent_ = nullptr;
    std::u16string_view lastParentName_;
};
