// Wine's registry file parser over arbitrary bytes. A file that is read must be
// written back byte for byte; after a change (a key and a value made of the
// input's own bytes, a value of an existing key replaced and one deleted) the
// written file must read again, with the changed values and nothing else lost.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/WinTypes.h"
#include "platform/host/registry/RegistryFile.h"
#include "platform/host/registry/RegistryText.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// Units made of the input's bytes: any character, including those that need
// escapes, but no backslash (the separator of key names) and never empty.
std::u16string NameFrom(const std::string& bytes, std::size_t offset) {
    std::u16string name;
    for (std::size_t i = offset; i + 1 < bytes.size() && name.size() < 12; i += 2) {
        char16_t c = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8));
        if (c == u'\\' || c == 0) c = u'_';
        name.push_back(c);
    }
    return name.empty() ? u"empty" : name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::optional<RegistryFile> parsed;
    try {
        parsed.emplace(RegistryFile::Parse(text, "fuzz.reg"));
    } catch (const ERegistryFileError&) {
        return 0;
    }
    RegistryFile& file = *parsed;
    Check(file.Serialize() == text);

    const auto now = RegistryFile::Clock::time_point(std::chrono::seconds(1800000000));
    const std::u16string key = u"Software\\Fuzz\\" + NameFrom(text, 0);
    const std::u16string valueName = NameFrom(text, 7);
    std::u16string units = NameFrom(text, 3);
    units.push_back(u'\0');
    const RegistryFile::Value value{valueName, win::REG_SZ, Utf16ToBytes(units)};
    const RegistryFile::Value binary{u"Bin", win::REG_BINARY, text.substr(0, 200)};
    file.CreateKey(key, now);
    Check(file.SetValue(key, value, now));
    // Software\Fuzz may stand in the input, with values of its own.
    Check(file.SetValue(u"Software\\Fuzz", binary, now));
    const bool hadOld = file.DeleteValue(u"Software\\Fuzz", u"Old", now);
    std::uint32_t subKeys = 0, values = 0;
    Check(file.QueryInfo(u"Software\\Fuzz", subKeys, values));

    const std::string written = file.Serialize();
    std::optional<RegistryFile> again;
    try {
        again.emplace(RegistryFile::Parse(written, "fuzz.reg"));
    } catch (const ERegistryFileError&) {
        Check(false);
    }
    RegistryFile::Value read;
    Check(again->QueryValue(key, valueName, read));
    Check(read.type == value.type && read.data == value.data);
    Check(again->QueryValue(u"Software\\Fuzz", u"Bin", read));
    Check(read.data == binary.data);
    Check(!again->QueryValue(u"Software\\Fuzz", u"Old", read));
    std::uint32_t subKeysAgain = 0, valuesAgain = 0;
    Check(again->QueryInfo(u"Software\\Fuzz", subKeysAgain, valuesAgain));
    Check(subKeysAgain == subKeys && valuesAgain == values);
    Check(again->Serialize() == written);
    (void)hadOld;

    // Deleting the new key leaves a file that reads, without it.
    if (file.DeleteKey(key, now) == RegistryFile::DeleteResult::Deleted) {
        try {
            RegistryFile last = RegistryFile::Parse(file.Serialize(), "fuzz.reg");
            Check(!last.KeyExists(key));
            Check(last.KeyExists(u"Software\\Fuzz"));
        } catch (const ERegistryFileError&) {
            Check(false);
        }
    }
    return 0;
}
