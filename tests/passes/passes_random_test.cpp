// Random sequences of handheld and desktop changes with syncs in between, over the real
// handheld image and the scripted desktop. PASSES_RANDOM_STEPS raises the steps per seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "passes_scenario_util.h"

namespace torrim {
namespace {

using tethersync::SUBJECT;
using Log = std::vector<CScenarioHost::LogLine>;

constexpr uint32_t DATE = 1700000000;
const Log QUIET_RUN = {{"", 19}, {"Mail", 20}};

DesktopMail Mail(const std::string& subject, uint32_t date) {
    DesktopMail mail;
    mail.from = "ann@example.org";
    mail.subject = subject;
    mail.body = "Text of " + subject;
    mail.date = date;
    return mail;
}

// Random changes on both sides with a sync after each few, some of them unable to read some
// desktop messages; after every sync that reads them all, the handheld inbox holds each
// desktop message that passes (all do here) exactly once, nothing else but the kept
// categories, read marks agree, and the state file reads back.
class RandomSequences : public ::testing::TestWithParam<uint32_t> {};

TEST_P(RandomSequences, HandheldAndDesktopAgreeAfterEverySync) {
    std::mt19937 random(GetParam());
    CScenario s;
    std::set<std::string> filed;
    // What the user did on the handheld, which every sync that reads the whole desktop
    // inbox must have carried to the desktop: these are read there, those gone from it.
    std::set<std::string> readOnHandheld, goneFromHandheld;
    int serial = 0;
    const char* wanted = std::getenv("PASSES_RANDOM_STEPS");
    const int steps = wanted != nullptr ? std::atoi(wanted) : 400;
    for (int step = 0; step < steps; ++step) {
        const int what = static_cast<int>(random() % 10);
        auto records = s.Records();
        std::vector<const HandheldRecord*> inbox;
        for (const HandheldRecord& r : records) {
            // A record deleted on the handheld is no longer there for its user.
            if (r.category == 0 && (r.attributes & SYNC_REC_DELETED) == 0) {
                inbox.push_back(&r);
            }
        }
        const HandheldRecord* pick = inbox.empty() ? nullptr : inbox[random() % inbox.size()];
        switch (what) {
            case 0:
            case 1: {
                // Distinct dates keep the content match unambiguous.
                const std::string subject = "S" + std::to_string(serial++);
                s.desktop.Add(Mail(subject, DATE + 120u * static_cast<uint32_t>(serial)));
                break;
            }
            case 2:
                if (!s.desktop.inbox.empty()) {
                    auto it = s.desktop.inbox.begin();
                    std::advance(it, random() % s.desktop.inbox.size());
                    s.desktop.inbox.erase(it);
                }
                break;
            case 3:
                if (!s.desktop.inbox.empty()) {
                    auto it = s.desktop.inbox.begin();
                    std::advance(it, random() % s.desktop.inbox.size());
                    it->second.read = true;
                }
                break;
            case 4:
                if (pick != nullptr) {
                    readOnHandheld.insert(pick->mail.texts[SUBJECT]);
                    ASSERT_TRUE(s.MarkRead(pick->id));
                }
                break;
            case 5:
                if (pick != nullptr) {
                    goneFromHandheld.insert(pick->mail.texts[SUBJECT]);
                    ASSERT_TRUE(s.SetState(pick->id, SYNC_REC_DELETED | SYNC_REC_MODIFIED, 0));
                }
                break;
            case 6:
                if (pick != nullptr) {
                    filed.insert(pick->mail.texts[SUBJECT]);
                    goneFromHandheld.insert(pick->mail.texts[SUBJECT]);
                    ASSERT_TRUE(s.SetState(pick->id, SYNC_REC_MODIFIED, 3));
                }
                break;
            case 7:
                ASSERT_NE(s.Put(1, "Out" + std::to_string(serial++)), 0u);
                break;
            case 8:
                // Some desktop messages cannot be read in this sync: what the handheld changed
                // for them waits, and the next full sync must agree all the same.
                for (const auto& [id, mail] : s.desktop.inbox) {
                    if (random() % 3 == 0) {
                        s.desktop.failRead.insert(id);
                    }
                }
                s.Sync();
                ASSERT_EQ(s.result, 0);
                s.desktop.failRead.clear();
                break;
            default: {
                s.Sync();
                ASSERT_EQ(s.result, 0);
                ASSERT_EQ(s.host.m_log, QUIET_RUN) << "step " << step;
                records = s.Records();
                std::vector<std::string> handheldInbox;
                std::set<std::string> handheldFiled;
                for (const HandheldRecord& r : records) {
                    ASSERT_TRUE(r.category == 0 || r.category == 3) << r.category;
                    if (r.category == 0) {
                        handheldInbox.push_back(r.mail.texts[SUBJECT]);
                        const std::string id = s.desktop.IdOf(r.mail.texts[SUBJECT]);
                        ASSERT_FALSE(id.empty());
                        EXPECT_EQ(r.mail.read, s.desktop.inbox[id].read) << "step " << step;
                    } else {
                        handheldFiled.insert(r.mail.texts[SUBJECT]);
                    }
                }
                EXPECT_EQ(Sorted(handheldInbox), Sorted(DesktopSubjects(s.desktop)))
                    << "step " << step;
                EXPECT_EQ(handheldFiled, filed) << "step " << step;
                for (const std::string& subject : readOnHandheld) {
                    const std::string id = s.desktop.IdOf(subject);
                    EXPECT_TRUE(id.empty() || s.desktop.inbox[id].read) << subject << " step " << step;
                }
                for (const std::string& subject : goneFromHandheld) {
                    EXPECT_EQ(s.desktop.IdOf(subject), "") << "step " << step;
                }
                CMessageMgr state;
                EXPECT_EQ(state.Load(s.StatePath()), 0);
                EXPECT_EQ(state.Count(), records.size());
                break;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomSequences, ::testing::Values(1u, 2u, 3u, 4u, 5u, 6u));

}  // namespace
}  // namespace torrim
