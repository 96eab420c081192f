/* The host libraries' C interfaces compiled as C and called through the real shared
 * libraries: codes for misuse, layouts, and calls outside an operation. */
#include <stdio.h>
#include <string.h>

#include "host/condreg/condreg.h"
#include "host/intlkit/intlkit.h"
#include "host/profstore/profstore.h"
#include "host/syncor/syncor.h"
#include "host/tamarackcmn/tamarack_cmn.h"
#include "host/tetherlog/tetherlog.h"

static int g_failures = 0;

#define CHECK(cond)                                                            \
    do {                                                                       \
        if (!(cond)) {                                                         \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
            ++g_failures;                                                      \
        }                                                                      \
    } while (0)

int main(void) {
    int32_t handle = 0;
    uint8_t db = 0;
    RecordRequest request;
    char buffer[8];
    int32_t size = 1;

    CHECK(sizeof(RecordRequest) == 32);
    CHECK(sizeof(PreferenceRequest) == 34);
    CHECK(sizeof(IdListRequest) == 17);
    CHECK(sizeof(CreateDatabaseRequest) == 52);

    /* Nothing attached: every handheld call says so; yielding is harmless. */
    CHECK(SyncRegisterConduit(&handle) == 16391);
    CHECK(SyncOpenDatabase("MailDB", 0, &db, 0xE0) == 16391);
    memset(&request, 0, sizeof(request));
    CHECK(SyncReadNextRecInCategory(&request) == 16391);
    CHECK(SyncYieldCycles(100) == 0);
    CHECK(SyncHostAttachImage("/nonexistent/folder/image") == 16395);
    CHECK(SyncHostAttachImage(NULL) == 16386);
    CHECK(SyncHostDetachImage() == 0);

    CHECK(LogAddLine(NULL, -1, 0) == TETHERLOG_ERR_BAD_ARGUMENT);
    CHECK(LogQuery() == 0);
    CHECK(LogAddLine("plain", -1, 0) == 0);
    CHECK(LogQuery() != 0);

    CHECK(ValidateNumberDec("abcdef", 4) == 4);
    CHECK(ValidateNumberDec("ab", 4) == 2);
    CHECK(ValidateNumberDec(NULL, 4) == 0);

    CHECK(CmnLoadString(NULL, 5001, buffer, sizeof(buffer)) == 0 && buffer[0] == '\0');
    CHECK(CmnReleaseLanguageLibrary(NULL, NULL) == 0);
    CHECK(CmnReadHostConfig("Core", "Path", NULL, &size, "") == CMN_ERR_BAD_ARGUMENT);

    size = 1;
    CHECK(CondregDataFolder(buffer, &size) == CONDREG_ERR_TOO_SMALL && size > 1);
    CHECK(CondregDataFolder(NULL, &size) == CONDREG_ERR_BAD_ARGUMENT);

    size = sizeof(buffer);
    CHECK(ProfReadText(-1, "Mail", "System", NULL, &size, "") == PROF_ERR_BAD_ARGUMENT);
    CHECK(ProfUserOfFolder(NULL, &handle) == PROF_ERR_BAD_ARGUMENT);

    if (g_failures == 0)
        printf("host C interfaces: all checks passed\n");
    return g_failures == 0 ? 0 : 1;
}
