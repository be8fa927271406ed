// Writes src/app/error_texts.inc: the system error message table in code page 936.
//
// Run once under Wine (or Windows) and commit the output:
//   wine gen_error_texts.exe > src/app/error_texts.inc
// The texts are the platform's Simplified Chinese system messages. The rows that users meet
// most (and that our tests pin) use the fixed wording below, which takes precedence over what
// the platform answers. A code with no Chinese text takes the supplement below, else the
// platform's neutral text, and is named on stderr.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// The codes the table holds, as inclusive ranges: 458 codes.
constexpr std::pair<unsigned, unsigned> kRanges[] = {
    {0, 33},      {36, 36},     {38, 39},     {50, 72},     {80, 80},     {82, 89},
    {100, 105},   {107, 114},   {117, 128},   {130, 162},   {164, 164},   {167, 167},
    {170, 170},   {173, 174},   {180, 180},   {183, 183},   {186, 187},   {196, 197},
    {199, 200},   {203, 203},   {205, 210},   {212, 212},   {214, 215},   {230, 234},
    {240, 240},   {254, 255},   {258, 259},   {266, 267},   {275, 278},   {282, 282},
    {288, 288},   {298, 301},   {487, 487},   {534, 536},   {994, 999},   {1001, 1022},
    {1051, 1083}, {1100, 1132}, {1140, 1142}, {1150, 1173}, {1175, 1181}, {1200, 1254},
    {1300, 1338}, {1340, 1398},
};
constexpr size_t kExpectedRows = 458;

const std::map<unsigned, std::wstring>& FixedTexts() {
    static const std::map<unsigned, std::wstring> fixed = {
        {0, L"操作成功完成。"},
        {1, L"功能错误。"},
        {2, L"系统找不到指定的文件。"},
        {3, L"系统找不到指定的路径。"},
        {4, L"系统无法打开文件。"},
        {5, L"拒绝访问。"},
        {6, L"句柄无效。"},
        {7, L"存储控制块被损坏。"},
        {8, L"存储空间不足，无法处理此命令。"},
        {9, L"存储控制块地址无效。"},
        {10, L"环境错误。"},
        {11, L"试图加载格式错误的程序。"},
        {12, L"访问码无效。"},
        {13, L"数据无效。"},
        {14, L"存储器不足，无法完成此操作。"},
        {15, L"系统找不到指定的驱动器。"},
        {32, L"进程无法访问文件，因为另一个程序正在使用此文件。"},
        {39, L"磁盘已满。"},
        {112, L"磁盘空间不足。"},
        {123, L"文件名、目录名或卷标语法不正确。"},
        {206, L"文件名或扩展名太长。"},
        {1398, L"在客户机和服务器之间有一个时间差。"},
    };
    return fixed;
}

// Used only where the platform answers with no Chinese text at all (Wine has none for 258).
const std::map<unsigned, std::wstring>& SupplementTexts() {
    static const std::map<unsigned, std::wstring> supplement = {
        {258, L"等待的操作过时。"},
    };
    return supplement;
}

std::wstring SystemText(unsigned code, LANGID language) {
    wchar_t buffer[4096];
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               code, language, buffer, 4096, nullptr);
    return std::wstring(buffer, n);
}

bool HasHan(const std::wstring& s) {
    for (wchar_t c : s) {
        if (c >= 0x4E00 && c <= 0x9FFF) return true;
    }
    return false;
}

// One row per line: line breaks inside a message become nothing between Chinese characters and
// a space elsewhere; tabs become spaces; surrounding spaces go.
std::wstring OneLine(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c == L'\r' || c == L'\n') {
            while (i + 1 < text.size() && (text[i + 1] == L'\r' || text[i + 1] == L'\n')) ++i;
            bool wideBefore = !out.empty() && out.back() > 0x7F;
            bool wideAfter = i + 1 < text.size() && text[i + 1] > 0x7F;
            if (!(wideBefore && wideAfter)) out += L' ';
        } else if (c == L'\t' || c < 0x20) {
            out += L' ';
        } else {
            out += c;
        }
    }
    size_t first = out.find_first_not_of(L' ');
    if (first == std::wstring::npos) return std::wstring();
    size_t last = out.find_last_not_of(L' ');
    return out.substr(first, last - first + 1);
}

bool To936(const std::wstring& text, std::string& out) {
    out.clear();
    if (text.empty()) return true;
    BOOL lossy = FALSE;
    int n = ::WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                  nullptr, &lossy);
    if (n <= 0 || lossy) return false;
    out.resize(static_cast<size_t>(n));
    ::WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return true;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

// Every byte as an escape, so no escape can swallow a following digit.
std::string Escaped(const std::string& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

}  // namespace

int main() {
    _setmode(_fileno(stdout), _O_BINARY);
    const LANGID chinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    const LANGID neutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);

    std::string source =
        "// Generated once by tools/gen_error_texts.cpp; edit the generator, not this file.\n"
        "// Rows: \"\\xA1\\xBE\" code \"\\xA1\\xBF-\" message, code page 936, joined by "
        "\"\\r\\n\".\n";
    size_t rows = 0, bytes = 0, fixedUsed = 0;
    std::vector<unsigned> noChinese, noText, notInCodePage;
    for (auto [first, last] : kRanges) {
        for (unsigned code = first; code <= last; ++code) {
            std::wstring text;
            auto fixed = FixedTexts().find(code);
            if (fixed != FixedTexts().end()) {
                text = fixed->second;
                ++fixedUsed;
            } else {
                text = OneLine(SystemText(code, chinese));
                if (!HasHan(text)) {
                    noChinese.push_back(code);
                    auto supplement = SupplementTexts().find(code);
                    text = supplement != SupplementTexts().end()
                               ? supplement->second
                               : OneLine(SystemText(code, neutral));
                    if (text.empty()) noText.push_back(code);
                }
            }
            std::wstring row = L"\u3016" + std::to_wstring(code) + L"\u3017-" + text;
            std::string encoded;
            if (!To936(row, encoded)) {
                notInCodePage.push_back(code);
                To936(L"\u3016" + std::to_wstring(code) + L"\u3017-", encoded);
            }
            if (rows > 0) {
                source += "\"\\x0D\\x0A\"\n";
                bytes += 2;
            }
            source += "// " + std::to_string(code) + " " + ToUtf8(text) + "\n";
            source += "\"" + Escaped(encoded) + "\"\n";
            bytes += encoded.size();
            ++rows;
        }
    }
    std::fwrite(source.data(), 1, source.size(), stdout);

    std::fprintf(stderr, "rows %zu (expected %zu), bytes %zu, fixed rows %zu\n", rows,
                 kExpectedRows, bytes, fixedUsed);
    auto list = [](const char* what, const std::vector<unsigned>& codes) {
        std::fprintf(stderr, "%s (%zu):", what, codes.size());
        for (unsigned c : codes) std::fprintf(stderr, " %u", c);
        std::fprintf(stderr, "\n");
    };
    list("no Chinese text", noChinese);
    list("no text at all", noText);
    list("not representable in code page 936", notInCodePage);
    return rows == kExpectedRows ? 0 : 1;
}
