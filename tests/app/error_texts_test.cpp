#include "app/error_texts.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// The codes the table must hold, as inclusive ranges.
const std::vector<std::pair<unsigned, unsigned>> kCodeRanges = {
    {0, 33},      {36, 36},     {38, 39},     {50, 72},     {80, 80},     {82, 89},
    {100, 105},   {107, 114},   {117, 128},   {130, 162},   {164, 164},   {167, 167},
    {170, 170},   {173, 174},   {180, 180},   {183, 183},   {186, 187},   {196, 197},
    {199, 200},   {203, 203},   {205, 210},   {212, 212},   {214, 215},   {230, 234},
    {240, 240},   {254, 255},   {258, 259},   {266, 267},   {275, 278},   {282, 282},
    {288, 288},   {298, 301},   {487, 487},   {534, 536},   {994, 999},   {1001, 1022},
    {1051, 1083}, {1100, 1132}, {1140, 1142}, {1150, 1173}, {1175, 1181}, {1200, 1254},
    {1300, 1338}, {1340, 1398},
};

struct Row {
    unsigned long code;
    std::string message;
};

// Parses the table independently of the lookup: rows split on "\r\n", each "〖code〗-message".
std::vector<Row> ParseRows(std::string_view table, std::vector<std::string>* problems) {
    const std::string open = "\xA1\xBC", close = "\xA1\xBD-";
    std::vector<Row> rows;
    size_t pos = 0;
    for (;;) {
        size_t end = table.find("\r\n", pos);
        std::string row(table.substr(pos, end == std::string_view::npos ? end : end - pos));
        size_t digits = open.size();
        size_t closeAt = row.find(close);
        if (row.compare(0, open.size(), open) != 0 || closeAt == std::string::npos ||
            closeAt == digits || row.find_first_not_of("0123456789", digits) != closeAt ||
            (row[digits] == '0' && closeAt - digits > 1)) {
            problems->push_back("malformed row: " + row);
        } else {
            rows.push_back({std::stoul(row.substr(digits, closeAt - digits)),
                            row.substr(closeAt + close.size())});
        }
        if (end == std::string_view::npos) break;
        pos = end + 2;
    }
    return rows;
}

// Code page 936 texts in the table must decode cleanly, or the error box would show garbage.
bool IsClean936(const std::string& text) {
    return ::MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, text.data(),
                                 static_cast<int>(text.size()), nullptr, 0) > 0;
}

}  // namespace

TEST(ErrorTextTable, HoldsExactlyTheListedCodesInAscendingRowsOfTheGivenForm) {
    std::string_view table = ErrorTextTable();
    ASSERT_FALSE(table.empty());
    EXPECT_NE(table.substr(table.size() - 2), "\r\n");  // no break after the last row

    std::vector<std::string> problems;
    std::vector<Row> rows = ParseRows(table, &problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    ASSERT_EQ(rows.size(), 458u);

    std::vector<unsigned long> expected;
    for (auto [first, last] : kCodeRanges) {
        for (unsigned code = first; code <= last; ++code) expected.push_back(code);
    }
    ASSERT_EQ(expected.size(), 458u);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].code, expected[i]) << "row " << i;
        EXPECT_FALSE(rows[i].message.empty()) << "code " << rows[i].code;
        EXPECT_EQ(rows[i].message.find_first_of("\r\n"), std::string::npos)
            << "code " << rows[i].code;
        EXPECT_TRUE(IsClean936(rows[i].message)) << "code " << rows[i].code;
    }
}

TEST(ErrorTextTable, EveryRowIsFoundByItsOwnCode) {
    std::vector<std::string> problems;
    for (const Row& row : ParseRows(ErrorTextTable(), &problems)) {
        EXPECT_EQ(ErrorTextForCode(row.code), row.message) << "code " << row.code;
    }
}

TEST(ErrorTextTable, QuotedRowsMatchToTheByte) {
    const std::
        pair<unsigned long, std::string>
            quoted
                [] =
                    {
                        {0,
                         "\xB2\xD9\xD7\xF7\xB3\xC9\xB9\xA6\xCD\xEA\xB3\xC9\xA1\xA3"},  // 操作成功完成。
                        {1, "\xB9\xA6\xC4\xDC\xB4\xED\xCE\xF3\xA1\xA3"},  // 功能错误。
                        {2,
                         "\xCF\xB5\xCD\xB3\xD5\xD2\xB2\xBB\xB5\xBD\xD6\xB8\xB6\xA8\xB5\xC4\xCE\xC4"
                         "\xBC\xFE\xA1"
                         "\xA3"},  // 系统找不到指定的文件。
                        {3,
                         "\xCF\xB5\xCD\xB3\xD5\xD2\xB2\xBB\xB5\xBD\xD6\xB8\xB6\xA8\xB5\xC4\xC2\xB7"
                         "\xBE\xB6\xA1"
                         "\xA3"},  // 系统找不到指定的路径。
                        {4,
                         "\xCF\xB5\xCD\xB3\xCE\xDE\xB7\xA8\xB4\xF2\xBF\xAA\xCE\xC4\xBC\xFE\xA1"
                         "\xA3"},  // 系统无法打开文件。
                        {5, "\xBE\xDC\xBE\xF8\xB7\xC3\xCE\xCA\xA1\xA3"},  // 拒绝访问。
                        {6, "\xBE\xE4\xB1\xFA\xCE\xDE\xD0\xA7\xA1\xA3"},  // 句柄无效。
                        {7,
                         "\xB4\xE6\xB4\xA2\xBF\xD8\xD6\xC6\xBF\xE9\xB1\xBB\xCB\xF0\xBB\xB5\xA1"
                         "\xA3"},  // 存储控制块被损坏。
                        {8,
                         "\xB4\xE6\xB4\xA2\xBF\xD5\xBC\xE4\xB2\xBB\xD7\xE3\xA3\xAC\xCE\xDE\xB7\xA8"
                         "\xB4\xA6\xC0\xED"
                         "\xB4\xCB\xC3\xFC\xC1\xEE\xA1\xA3"},  // 存储空间不足，无法处理此命令。
                        {9,
                         "\xB4\xE6\xB4\xA2\xBF\xD8\xD6\xC6\xBF\xE9\xB5\xD8\xD6\xB7\xCE\xDE\xD0\xA7"
                         "\xA1\xA3"},  // 存储控制块地址无效。
                        {10, "\xBB\xB7\xBE\xB3\xB4\xED\xCE\xF3\xA1\xA3"},  // 环境错误。
                        {11,
                         "\xCA\xD4\xCD\xBC\xBC\xD3\xD4\xD8\xB8\xF1\xCA\xBD\xB4\xED\xCE\xF3\xB5\xC4"
                         "\xB3\xCC\xD0\xF2"
                         "\xA1\xA3"},  // 试图加载格式错误的程序。
                        {12, "\xB7\xC3\xCE\xCA\xC2\xEB\xCE\xDE\xD0\xA7\xA1\xA3"},  // 访问码无效。
                        {13, "\xCA\xFD\xBE\xDD\xCE\xDE\xD0\xA7\xA1\xA3"},  // 数据无效。
                        {14,
                         "\xB4\xE6\xB4\xA2\xC6\xF7\xB2\xBB\xD7\xE3\xA3\xAC\xCE\xDE\xB7\xA8\xCD\xEA"
                         "\xB3\xC9\xB4\xCB"
                         "\xB2\xD9\xD7\xF7\xA1\xA3"},  // 存储器不足，无法完成此操作。
                        {15,
                         "\xCF\xB5\xCD\xB3\xD5\xD2\xB2\xBB\xB5\xBD\xD6\xB8\xB6\xA8\xB5\xC4\xC7\xFD"
                         "\xB6\xAF\xC6\xF7"
                         "\xA1\xA3"},  // 系统找不到指定的驱动器。
                        {32,
                         "\xBD\xF8\xB3\xCC\xCE\xDE\xB7\xA8\xB7\xC3\xCE\xCA\xCE\xC4\xBC\xFE\xA3\xAC"
                         "\xD2\xF2\xCE\xAA"
                         "\xC1\xED\xD2\xBB\xB8\xF6\xB3\xCC\xD0\xF2\xD5\xFD\xD4\xDA\xCA\xB9\xD3\xC3"
                         "\xB4\xCB\xCE\xC4"
                         "\xBC\xFE\xA1\xA3"},  // 进程无法访问文件，因为另一个程序正在使用此文件。
                        {39, "\xB4\xC5\xC5\xCC\xD2\xD1\xC2\xFA\xA1\xA3"},  // 磁盘已满。
                        {112,
                         "\xB4\xC5\xC5\xCC\xBF\xD5\xBC\xE4\xB2\xBB\xD7\xE3\xA1\xA3"},  // 磁盘空间不足。
                        {123,
                         "\xCE\xC4\xBC\xFE\xC3\xFB\xA1\xA2\xC4\xBF\xC2\xBC\xC3\xFB\xBB\xF2\xBE\xED"
                         "\xB1\xEA\xD3\xEF"
                         "\xB7\xA8\xB2\xBB\xD5\xFD\xC8\xB7\xA1\xA3"},  // 文件名、目录名或卷标语法不正确。
                        {206,
                         "\xCE\xC4\xBC\xFE\xC3\xFB\xBB\xF2\xC0\xA9\xD5\xB9\xC3\xFB\xCC\xAB\xB3\xA4"
                         "\xA1"
                         "\xA3"},  // 文件名或扩展名太长。
                        {1398,
                         "\xD4\xDA\xBF\xCD\xBB\xA7\xBB\xFA\xBA\xCD\xB7\xFE\xCE\xF1\xC6\xF7\xD6\xAE"
                         "\xBC\xE4\xD3\xD0"
                         "\xD2\xBB\xB8\xF6\xCA\xB1\xBC\xE4\xB2\xEE\xA1\xA3"},  // 在客户机和服务器之间有一个时间差。
                    };
    for (const auto& [code, message] : quoted) {
        EXPECT_EQ(ErrorTextForCode(code), message) << "code " << code;
    }
}

TEST(ErrorTextTable, CodesWithoutARowGiveEmptyText) {
    for (unsigned long code : {34ul, 35ul, 37ul, 40ul, 106ul, 1000ul, 1174ul, 1339ul, 1399ul,
                               1400ul, 99999ul, 0xFFFFFFFFul}) {
        EXPECT_EQ(ErrorTextForCode(code), "") << "code " << code;
    }
}

TEST(ErrorTextTable, AShortCodeNeverMatchesALongerOne) {
    // 1 is a prefix of 10, 11, 100 and 1001; 2 of 206; each must find its own row.
    EXPECT_EQ(ErrorTextForCode(1), "\xB9\xA6\xC4\xDC\xB4\xED\xCE\xF3\xA1\xA3");
    EXPECT_NE(ErrorTextForCode(10), ErrorTextForCode(1));
    EXPECT_NE(ErrorTextForCode(100), ErrorTextForCode(1));
    EXPECT_NE(ErrorTextForCode(1001), ErrorTextForCode(100));
    EXPECT_NE(ErrorTextForCode(206), ErrorTextForCode(2));
    EXPECT_NE(ErrorTextForCode(20), ErrorTextForCode(206));
}

TEST(LastErrorText, ExplainsTheThreadsLastError) {
    ::SetLastError(5);
    EXPECT_EQ(LastErrorText(), "\xBE\xDC\xBE\xF8\xB7\xC3\xCE\xCA\xA1\xA3");
    ::SetLastError(1174);
    EXPECT_EQ(LastErrorText(), "");
    ::SetLastError(0);
    EXPECT_EQ(LastErrorText(), "\xB2\xD9\xD7\xF7\xB3\xC9\xB9\xA6\xCD\xEA\xB3\xC9\xA1\xA3");

    // The usual case: writing into an album folder that was never made.
    HANDLE file = ::CreateFileW(L"C:\\no-such-folder-here\\picture.jpg", GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(LastErrorText(), ErrorTextForCode(3));
    EXPECT_EQ(::GetLastError(), 3u);  // looking it up does not disturb it for the caller
}
