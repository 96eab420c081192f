// Shared set-up of the provider tests: a temporary Maildir with sample messages, a profile
// file naming it, and the Simple MAPI library loaded by its Windows name.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "providers/simplemapi/simple_mapi.h"

class ProviderTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the profile file with the given extra lines for the profile "Test".
    void WriteProfiles(const std::string& extra);
    // Ids of the sample messages in inbox order.
    static std::vector<std::string> SampleIds();
    std::vector<std::string> FilesIn(const std::string& dir) const;

    std::string m_dir;
    std::string m_store;
    std::string m_sent;
    std::string m_profiles;
    void* m_lib = nullptr;
    LPMAPILOGON m_logon = nullptr;
    LPMAPILOGOFF m_logoff = nullptr;
    LPMAPIFINDNEXT m_findNext = nullptr;
    LPMAPIREADMAIL m_readMail = nullptr;
    LPMAPIDELETEMAIL m_deleteMail = nullptr;
    LPMAPISENDMAIL m_sendMail = nullptr;
    LPMAPIRESOLVENAME m_resolveName = nullptr;
    LPMAPIFREEBUFFER m_freeBuffer = nullptr;
};
