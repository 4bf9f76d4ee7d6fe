//===- FileTest.cpp - Opening, writing, file-system operations, listings --===//
#include "SystemTestUtil.h"

#include <ktutil/KtUSysDirHandle.h>
#include <ktutil/KtUSysFileHandle.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

using namespace ktutest;

namespace {

class FileTest : public SysFileTest {};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(FileTest, FopenLogsFailuresAndClosesOnExec) {
    KtUSysError::ClearLogBuffer();
    EXPECT_EQ(nullptr, KtUSysFile::fopenA(P("no/such").c_str(), "rb"));
    EXPECT_EQ(nullptr, KtUSysFile::fopenA(nullptr, "rb"));
    EXPECT_EQ(nullptr, KtUSysFile::fopenW(WP("no/such").c_str(), u"rb"));
    std::string log = LogText();
    EXPECT_TRUE(
        Contains(log, "KtUSysFile::fopenA failed to open file '" + P("no/such") + "' error #2\n"))
        << log;
    EXPECT_TRUE(Contains(log, "KtUSysFile::fopenA failed to open file '(null)' error #"));
    EXPECT_TRUE(
        Contains(log, "KtUSysFile::fopenW failed to open file '" + P("no/such") + "' error #2\n"));

    FILE* f = KtUSysFile::fopenW(WP("new.bin").c_str(), u"wb");
    ASSERT_NE(nullptr, f);
    EXPECT_TRUE(::fcntl(::fileno(f), F_GETFD) & FD_CLOEXEC);
    std::fclose(f);
}

TEST_F(FileTest, FwriteWritesInPiecesAndReportsAShortPiece) {
    std::string data(10000, 'a');
    data[4095] = 'b'; // pieces out of order or repeated would move it
    data[9999] = 'c';
    auto* bytes = reinterpret_cast<const unsigned char*>(data.data());

    FILE* f = KtUSysFile::fopenA(P("w.bin").c_str(), "wb");
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(0u, KtUSysFile::fwrite(bytes, 0, f));
    EXPECT_EQ(10000u, KtUSysFile::fwrite(bytes, 10000, f));
    std::fclose(f);
    EXPECT_EQ(data, ReadFile(P("w.bin")));

    // An unbuffered stream on /dev/full fails the first piece outright.
    FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(nullptr, full);
    std::setvbuf(full, nullptr, _IONBF, 0);
    KtUSysError::ClearLogBuffer();
    EXPECT_EQ(0u, KtUSysFile::fwrite(bytes, 10000, full));
    std::fclose(full);
    EXPECT_TRUE(Contains(LogText(), "KtUSysFile::fwrite(4096) returned 0 after writing 0 of "
                                    "10000 bytes\n"));
}

TEST_F(FileTest, TempStreamIsDeletedAtOnceWithFlagOne) {
    FILE* f = KtUSysFile::fopenTempFileW(WP("t.bin").c_str(), 1 | 2 | 4 | 8);
    ASSERT_NE(nullptr, f);
    EXPECT_FALSE(KtUSysFile::ExistsW(WP("t.bin").c_str()));
    std::fputs("kept", f);
    std::rewind(f);
    char buf[8] = {};
    EXPECT_EQ(4u, std::fread(buf, 1, 7, f));
    EXPECT_STREQ("kept", buf);
    std::fclose(f);

    f = KtUSysFile::fopenTempFileW(WP("u.bin").c_str(), 0);
    ASSERT_NE(nullptr, f);
    std::fclose(f);
    EXPECT_TRUE(KtUSysFile::ExistsW(WP("u.bin").c_str()));
}

TEST_F(FileTest, CopyRenameRemoveAndStat) {
    WriteFile(P("a.txt"), "Wikipedia");
    KtUInt64 time = 0;
    KtUNat64 size = 0;
    ASSERT_TRUE(KtUSysFile::Stat(WP("a.txt").c_str(), &time, &size));
    EXPECT_EQ(9u, size);
    EXPECT_GT(time, 1600000000);

    int sum = 0;
    ASSERT_TRUE(KtUSysFile::GetChecksum(WP("a.txt").c_str(), &sum));
    EXPECT_EQ(0x11E60398, sum);
    WriteFile(P("empty"), "");
    ASSERT_TRUE(KtUSysFile::GetChecksum(WP("empty").c_str(), &sum));
    EXPECT_EQ(1, sum);

    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, P("a.txt").c_str(), old, 0));
    ASSERT_TRUE(KtUSysFile::CopyFileW(WP("a.txt").c_str(), WP("b.txt").c_str(), 1));
    EXPECT_EQ("Wikipedia", ReadFile(P("b.txt")));
    ASSERT_TRUE(KtUSysFile::Stat(WP("b.txt").c_str(), &time, nullptr));
    EXPECT_EQ(1000000000, time);
    EXPECT_FALSE(KtUSysFile::CopyFileW(WP("a.txt").c_str(), WP("b.txt").c_str(), 1));
    EXPECT_FALSE(KtUSysFile::CopyFileW(WP("a.txt").c_str(), WP("./a.txt").c_str(), 0));
    EXPECT_EQ("Wikipedia", ReadFile(P("a.txt"))) << "copying a file onto itself emptied it";

    EXPECT_TRUE(KtUSysFile::IsNewerW(WP("empty").c_str(), WP("a.txt").c_str()));
    EXPECT_TRUE(KtUSysFile::IsNewerW(WP("a.txt").c_str(), WP("missing").c_str()));

    ASSERT_TRUE(KtUSysFile::RenameW(WP("b.txt").c_str(), WP("c.txt").c_str()));
    EXPECT_FALSE(KtUSysFile::ExistsW(WP("b.txt").c_str()));
    EXPECT_EQ("Wikipedia", ReadFile(P("c.txt")));
    EXPECT_TRUE(KtUSysFile::FlushFileBuffer(WP("c.txt").c_str()));
    EXPECT_TRUE(KtUSysFile::DeleteW(WP("c.txt").c_str()));
    EXPECT_FALSE(KtUSysFile::DeleteW(WP("c.txt").c_str()));

    ASSERT_TRUE(KtUSysFile::CreateDirW(WP("d/e\\f/").c_str()));
    WriteFile(P("d/e/f/x"), "x");
    WriteFile(P("d/y"), "y");
    EXPECT_FALSE(KtUSysFile::DeleteW(WP("d").c_str()));
    EXPECT_FALSE(KtUSysFile::RemoveW(WP("d").c_str(), 0));
    EXPECT_TRUE(KtUSysFile::RemoveW(WP("d").c_str(), 1));
    EXPECT_FALSE(KtUSysFile::ExistsW(WP("d").c_str()));
    EXPECT_FALSE(KtUSysFile::RemoveW(WP("d").c_str(), 1));
}

TEST_F(FileTest, DirectoryListingAndFileHandles) {
    WriteFile(P("x.txt"), "12345");
    WriteFile(P("y.txt"), "");
    WriteFile(P("z.dat"), "z");
    ASSERT_TRUE(KtUSysFile::CreateDirW(WP("sub").c_str()));

    auto list = [&](const KtUWChar* pattern) {
        std::vector<std::string> names;
        KtUSysDirHandle* dir = KtUSysFile::OpenDirW(W(m_dir).c_str(), pattern);
        EXPECT_NE(nullptr, dir);
        for (; dir && dir->IsValid(); dir->Next()) {
            KtUSysFileHandle* f = dir->OpenFile();
            std::string name = N(f->GetNameW());
            EXPECT_EQ(P(name), N(f->GetFullNameW()));
            if (name == "x.txt") {
                EXPECT_EQ(5u, f->GetFileSize());
            }
            EXPECT_EQ(name == "sub", f->IsDirectory());
            names.push_back(name);
            KtUSysFile::CloseFile(f);
        }
        KtUSysFile::CloseDir(dir);
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_EQ((std::vector<std::string>{"sub", "x.txt", "y.txt", "z.dat"}), list(nullptr));
    EXPECT_EQ((std::vector<std::string>{"x.txt", "y.txt"}), list(u"*.txt"));
    EXPECT_EQ(nullptr, KtUSysFile::OpenDirW(WP("missing").c_str(), nullptr));

    KtUSysFileHandle* f = KtUSysFile::OpenFileW(WP("x.txt").c_str());
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(1, f->GetRefCount());
    EXPECT_EQ("x.txt", N(f->GetNameW()));
    f->Ref();
    KtUSysFile::CloseFile(f);
    EXPECT_EQ(1, f->GetRefCount());
    KtUSysFile::CloseFile(f);
    EXPECT_EQ(nullptr, KtUSysFile::OpenFileW(WP("missing").c_str()));
}

// A minimal image: DOS header with e_lfanew 0x80, "PE\0\0", a 20-byte file
// header and a 224-byte optional header starting with magic.
std::string PEImage(unsigned magic) {
    std::string img(0x80 + 4 + 20 + 224, '\0');
    img[0] = 'M';
    img[1] = 'Z';
    img[0x3C] = '\x80';
    img.replace(0x80, 4, std::string("PE\0\0", 4));
    img[0x80 + 24] = static_cast<char>(magic & 0xFF);
    img[0x80 + 25] = static_cast<char>(magic >> 8);
    return img;
}

TEST_F(FileTest, PEImageTypesAndEveryFailure) {
    struct Case {
        std::string bytes;
        int type;
        const char* log;
    };
    std::string pe = PEImage(0x10B);
    std::string notdos = pe, notpe = pe;
    notdos[0] = 'X';
    notpe[0x81] = 'X';
    const Case cases[] = {
        {pe, 1, nullptr},
        {PEImage(0x20B), 2, nullptr},
        {PEImage(0x107), 3, nullptr},
        {PEImage(0x999), 4, "Unknown PE image type found in "},
        {pe.substr(0, 40), 0, "Can't read DOS header from "},
        {notdos, 0, "Not a DOS file: "},
        {pe.substr(0, 0x82), 0, "Can't read PE signature from "},
        {notpe, 0, "Not a PE file: "},
        {pe.substr(0, pe.size() - 1), 0, "Can't read optional header from "},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string path = P("img" + std::to_string(n++));
        WriteFile(path, c.bytes);
        KtUSysError::ClearLogBuffer();
        EXPECT_EQ(c.type, KtUSysFile::GetPEImageType(W(path).c_str())) << path;
        std::string want = c.log ? "KtUSysFile::GetPEImageType() : " + std::string(c.log) + path
                                 : "GetPEImageType";
        EXPECT_EQ(c.log != nullptr, Contains(LogText(), want)) << path << "\n" << LogText();
    }
    KtUSysError::ClearLogBuffer();
    EXPECT_EQ(0, KtUSysFile::GetPEImageType(WP("none.exe").c_str()));
    EXPECT_TRUE(
        Contains(LogText(), "KtUSysFile::GetPEImageType() : " + P("none.exe") + " doesn't exist."));
}

} // namespace
