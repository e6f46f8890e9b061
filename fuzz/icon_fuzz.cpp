// The icon reader on hostile programs: any bytes give an icon or nothing,
// never a crash, a hang or a read outside them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/host/machine/ProgramIcons.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string image(reinterpret_cast<const char*>(data), size);
    for (std::size_t group = 0; group < 2; ++group) {
        const auto icon = ProgramIcon(image, group);
        // An icon is an .ico file: its header says so.
        if (icon && (icon->size() < 6 || (*icon)[2] != 1)) __builtin_trap();
    }
    return 0;
}
