// The built program's load-time imports: only KnownDLLs, which the loader always takes from
// System32. Anything else would first be looked for beside the executable, where a planted DLL
// would run as us; those DLLs are delay-loaded after the search is narrowed to System32.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The file's bytes; empty when it cannot be read.
std::vector<unsigned char> ReadFile(const std::wstring& path) {
    std::ifstream in(std::string(path.begin(), path.end()), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <class T>
const T* At(const std::vector<unsigned char>& image, std::size_t offset) {
    if (offset > image.size() || image.size() - offset < sizeof(T)) return nullptr;
    return reinterpret_cast<const T*>(image.data() + offset);
}

// The names of the DLLs in a PE file's import directory, lower case; throws on a malformed file.
std::vector<std::string> LoadTimeImports(const std::vector<unsigned char>& image) {
    const auto* dos = At<IMAGE_DOS_HEADER>(image, 0);
    if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE) throw std::runtime_error("not a PE file");
    const auto* nt = At<IMAGE_NT_HEADERS64>(image, static_cast<std::size_t>(dos->e_lfanew));
    if (!nt || nt->Signature != IMAGE_NT_SIGNATURE ||
        nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        throw std::runtime_error("not a 64-bit PE file");
    }
    const auto* sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
        reinterpret_cast<const unsigned char*>(&nt->OptionalHeader) +
        nt->FileHeader.SizeOfOptionalHeader);
    const auto rvaToOffset = [&](DWORD rva) -> std::size_t {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const auto& s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData) {
                return rva - s.VirtualAddress + s.PointerToRawData;
            }
        }
        throw std::runtime_error("address outside every section");
    };
    const auto& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<std::string> names;
    for (std::size_t offset = rvaToOffset(directory.VirtualAddress);;
         offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto* descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(image, offset);
        if (!descriptor) throw std::runtime_error("import directory runs off the file");
        if (descriptor->Name == 0) break;
        std::string name;
        for (std::size_t p = rvaToOffset(descriptor->Name); p < image.size() && image[p]; ++p) {
            name += static_cast<char>(std::tolower(image[p]));
        }
        names.push_back(name);
    }
    return names;
}

std::wstring BesideThisTest(const wchar_t* file) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + file;
}

TEST(ImportTable, TheProgramLoadsOnlyKnownDllsAtStart) {
    // KnownDLLs of Windows 10 and 11 (HKLM\SYSTEM\CurrentControlSet\Control\Session
    // Manager\KnownDLLs) that a program of ours may import; ntdll and kernelbase are always known.
    const std::set<std::string> known{
        "advapi32.dll", "clbcatq.dll",   "combase.dll", "comdlg32.dll", "gdi32.dll",
        "gdiplus.dll",  "imagehlp.dll",  "imm32.dll",   "kernel32.dll", "msctf.dll",
        "msvcrt.dll",   "normaliz.dll",  "nsi.dll",     "ole32.dll",    "oleaut32.dll",
        "psapi.dll",    "rpcrt4.dll",    "sechost.dll", "setupapi.dll", "shcore.dll",
        "shell32.dll",  "shlwapi.dll",   "user32.dll",  "wldap32.dll",  "ws2_32.dll",
        "ntdll.dll",    "kernelbase.dll"};
    const auto image = ReadFile(BesideThisTest(L"quenvix.exe"));
    ASSERT_FALSE(image.empty()) << "quenvix.exe is not built beside this test";
    const auto imports = LoadTimeImports(image);
    EXPECT_NE(std::find(imports.begin(), imports.end(), "kernel32.dll"), imports.end())
        << "the import directory was not read";
    for (const auto& dll : imports) {
        EXPECT_TRUE(known.count(dll)) << dll << " is loaded at start but is not a KnownDLL";
    }
    // The delay-loaded ones the program calls are still in it (their calls go through the delay
    // helper). winmm's sounds belong to the tray icon's extras, which the program does not use.
    const std::string bytes(image.begin(), image.end());
    for (const char* delayed : {"winhttp.dll", "uxtheme.dll", "comctl32.dll"}) {
        EXPECT_NE(bytes.find(delayed), std::string::npos) << delayed;
    }
}

// The guardian waits and shows windows: kernel32 and user32, not even a C runtime, so that
// nothing it loads can fail it or be planted beside it.
TEST(ImportTable, TheGuardianImportsKernel32AndUser32Only) {
    const auto image = ReadFile(BesideThisTest(L"quenvix_guardian.exe"));
    ASSERT_FALSE(image.empty()) << "quenvix_guardian.exe is not built beside this test";
    auto imports = LoadTimeImports(image);
    std::sort(imports.begin(), imports.end());
    EXPECT_EQ(imports, (std::vector<std::string>{"kernel32.dll", "user32.dll"}));
}

}  // namespace
