/* The exported interface of libtorrim.so used from C, as the sync host does: the real
 * library, the public header only. */
#include <stdio.h>
#include <string.h>

#include "torrim/torrim.h"

static int g_failures = 0;
static int g_progressCalls = 0;

#define CHECK(cond)                                                            \
    do {                                                                       \
        if (!(cond)) {                                                         \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
            ++g_failures;                                                      \
        }                                                                      \
    } while (0)

static void Progress(const char* text) {
    (void)text;
    ++g_progressCalls;
}

int main(void) {
    SyncProperties props;
    memset(&props, 0, sizeof(props));
    props.syncAction = TORRIM_ACTION_DO_NOTHING;

    /* An operation is refused until the host has asked for the version. */
    CHECK(OpenConduit(Progress, &props) == -1);
    CHECK(GetConduitVersion() == 257);
    CHECK(OpenConduit(NULL, &props) == -1);

    char name[80];
    memset(name, 'x', sizeof(name));
    CHECK(GetConduitName(name, sizeof(name)) == 0);
    CHECK(strcmp(name, "Mail") == 0);
    CHECK(GetConduitName(name, 3) == 0);
    CHECK(strcmp(name, "Ma") == 0);
    /* A buffer of no bytes gets none. */
    memset(name, 'x', sizeof(name));
    CHECK(GetConduitName(name, 0) == 0);
    CHECK(name[0] == 'x');

    unsigned int request[20] = {1, 80};
    uint32_t size = sizeof(name);
    CHECK(GetConduitInfo(0, request, NULL, &size) == 4209);
    CHECK(GetConduitInfo(0, request, name, NULL) == 4215);
    CHECK(GetConduitInfo(0, NULL, name, &size) == 4212);
    request[1] = 79;
    CHECK(GetConduitInfo(0, request, name, &size) == 4213);
    request[1] = 80;
    CHECK(GetConduitInfo(0, request, name, &size) == 0);
    CHECK(strcmp(name, "Mail") == 0);
    uint32_t value = 0;
    size = 3;
    CHECK(GetConduitInfo(1, NULL, &value, &size) == 4211);
    size = 4;
    CHECK(GetConduitInfo(1, NULL, &value, &size) == 0 && value == 1536);
    CHECK(GetConduitInfo(2, NULL, &value, &size) == 0 && value == 6);
    CHECK(GetConduitInfo(5, NULL, &value, &size) == 4208);

    /* The do-nothing action needs no user, settings or handheld. */
    CHECK(OpenConduit(Progress, &props) == 0);
    CHECK(g_progressCalls == 0);

    if (g_failures != 0) {
        fprintf(stderr, "%d check(s) failed\n", g_failures);
        return 1;
    }
    printf("torrim C interface: all checks passed\n");
    return 0;
}
