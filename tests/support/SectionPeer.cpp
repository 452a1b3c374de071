// Second process for the section tests:
//   vt_section_peer NAME SIZE FILL
// prints its default section name, then opens NAME with SIZE bytes and prints how often
// InitializeData ran and the hash of the bytes it found; then fills the view with the byte
// FILL (decimal) so the caller can see the peer shared its memory.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "SharedDataProbe.h"

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: vt_section_peer NAME SIZE FILL\n");
        return 2;
    }
    try {
        TSharedDataProbe section(nullptr);
        std::printf("name=%s\n", section.SectionName().c_str());
        section.SetSectionName(argv[1]);
        section.SetDataSize(static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)));
        section.Open();
        std::printf("init=%d\nhash=%08X\n", section.InitializeCalls,
                    static_cast<unsigned>(BlockHash(section.Data(), section.DataSize())));
        std::memset(section.Data(), std::atoi(argv[3]), section.DataSize());
        section.Close();
    } catch (const Exception& error) {
        std::printf("error=%s\n", error.what());
        return 1;
    }
    return 0;
}
