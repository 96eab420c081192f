// Sample Maildir, profile file and library loading for the provider tests.
#include "tests/providers/provider_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/library.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

struct Sample {
    const char* file;  // within the Maildir
    std::string text;
};

std::vector<Sample> Samples() {
    return {
        {"new/1700000001.plain.host",
         "From: Ann Smith <ann@example.org>\nTo: me@example.org\nSubject: Plain\n"
         "Date: Tue, 14 Nov 2023 22:13:20 +0000\n\nHello there.\n"},
        {"cur/1700000002.multi.host:2,S",
         "From: bob@example.org\nTo: me@example.org\nSubject: Files\nMIME-Version: 1.0\n"
         "Content-Type: multipart/mixed; boundary=B\n\n--B\nContent-Type: text/plain\n\n"
         "See the files.\n--B\nContent-Type: text/plain; name=a.txt\n"
         "Content-Disposition: attachment; filename=a.txt\n\nfirst file\n--B\n"
         "Content-Type: application/pdf\nContent-Disposition: attachment; filename=b.pdf\n"
         "Content-Transfer-Encoding: base64\n\nJVBERi0=\n--B--\n"},
        {"new/1700000003.latin.host",
         "From: =?iso-8859-1?q?Ren=E9?= <rene@example.org>\nTo: me@example.org\n"
         "Subject: =?iso-8859-1?q?Caf=E9?=\nContent-Type: text/plain; charset=iso-8859-1\n"
         "Content-Transfer-Encoding: quoted-printable\n\nCr=E8me br=FBl=E9e\n"},
        {"new/1700000004.utf8.host",
         "From: zoe@example.org\nTo: me@example.org\nSubject: =?utf-8?b?w5xiZXI=?=\n"
         "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: base64\n\n"
         "R3LDvMOfZSDigqw=\n"},
        {"new/1700000005.jis.host",
         "From: taro@example.jp\nTo: me@example.org\n"
         "Subject: =?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=\nContent-Type: text/plain; "
         "charset=ISO-2022-JP\n\n\x1b$BF|K\\\x1b(B\n"},
        {"new/1700000006.html.host",
         "From: news@example.org\nTo: me@example.org\nSubject: Html\n"
         "Content-Type: text/html\n\n<p>Big <b>news</b></p>\n"},
    };
}

}  // namespace

std::vector<std::string> ProviderTest::SampleIds() {
    std::vector<std::string> ids;
    for (const Sample& s : Samples()) {
        std::string name = fs::path(s.file).filename().string();
        ids.push_back(name.substr(0, name.find(':')));
    }
    return ids;
}

void ProviderTest::SetUp() {
    std::string tmpl = (fs::temp_directory_path() / "mapiexpXXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    m_dir = tmpl;
    m_store = m_dir + "/Maildir";
    m_sent = m_dir + "/Sent";
    for (const char* s : {"/new", "/cur", "/tmp"}) {
        fs::create_directories(m_store + s);
    }
    for (const Sample& s : Samples()) {
        WriteFile(m_store + "/" + s.file, s.text);
    }
    WriteFile(m_dir + "/book.txt",
              "Ann Smith <ann@example.org>\nAnn Jones <jones@example.org>\n"
              "Bob Brown <bob@example.org>\n");
    m_profiles = m_dir + "/profiles.ini";
    WriteProfiles("");
    setenv("TETHER_MAPI_PROFILES", m_profiles.c_str(), 1);
    // The converted-message cache stays in the test folder too.
    setenv("TETHER_MAPI_CACHE", (m_dir + "/cache").c_str(), 1);

    std::string error;
    m_lib = platform::LoadLibraryByName("Mapi32.dll", &error);
    ASSERT_NE(m_lib, nullptr) << error;
    m_logon = reinterpret_cast<LPMAPILOGON>(platform::GetProcAddress(m_lib, "MAPILogon"));
    m_logoff = reinterpret_cast<LPMAPILOGOFF>(platform::GetProcAddress(m_lib, "MAPILogoff"));
    m_findNext = reinterpret_cast<LPMAPIFINDNEXT>(platform::GetProcAddress(m_lib, "MAPIFindNext"));
    m_readMail = reinterpret_cast<LPMAPIREADMAIL>(platform::GetProcAddress(m_lib, "MAPIReadMail"));
    m_deleteMail =
        reinterpret_cast<LPMAPIDELETEMAIL>(platform::GetProcAddress(m_lib, "MAPIDeleteMail"));
    m_sendMail = reinterpret_cast<LPMAPISENDMAIL>(platform::GetProcAddress(m_lib, "MAPISendMail"));
    m_resolveName =
        reinterpret_cast<LPMAPIRESOLVENAME>(platform::GetProcAddress(m_lib, "MAPIResolveName"));
    m_freeBuffer =
        reinterpret_cast<LPMAPIFREEBUFFER>(platform::GetProcAddress(m_lib, "MAPIFreeBuffer"));
    ASSERT_TRUE(m_logon && m_logoff && m_findNext && m_readMail && m_deleteMail && m_sendMail &&
                m_resolveName && m_freeBuffer);
}

void ProviderTest::TearDown() {
    if (m_lib != nullptr) {
        platform::FreeLibrary(m_lib);
    }
    std::error_code ec;
    fs::remove_all(m_dir, ec);
}

void ProviderTest::WriteProfiles(const std::string& extra) {
    WriteFile(m_profiles, "[Other]\nStore=" + m_dir + "/nowhere\n\n[Test]\nStore=" + m_store +
                              "\nSent=" + m_sent + "\nAddress=me@example.org\nDisplayName=Me\n" +
                              "AddressBook=" + m_dir + "/book.txt\nDefault=1\n" + extra);
}

std::vector<std::string> ProviderTest::FilesIn(const std::string& dir) const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}
