/* The exported interface from C, against the public header and the real
 * shared library: handle checks (including a terminated handle, which must
 * not be read), a translation with the compiled tables, and init failures. */
#include <stdio.h>
#include <string.h>

#include "glossel/glossel.h"

static int g_failures = 0;

#define CHECK_EQ(actual, expected)                                                         \
    do {                                                                                   \
        long long a_ = (long long)(actual), e_ = (long long)(expected);                    \
        if (a_ != e_) {                                                                    \
            fprintf(stderr, "%s:%d: %s is %lld, expected %lld\n", __FILE__, __LINE__,      \
                    #actual, a_, e_);                                                      \
            ++g_failures;                                                                  \
        }                                                                                  \
    } while (0)

int main(void) {
    tccIntlCtxtStruct* handle = NULL;
    CHECK_EQ(ccIntlInit(GLOSSEL_TABLE_DIR, 1, "EN", &handle), 0);
    if (handle == NULL) {
        return 1;
    }
    const uint8_t text[] = {'c', 'a', 'f', 0xE9};
    uint8_t out[8];
    uint32_t length = 7;
    CHECK_EQ(ccIntlTranslateStr(handle, 1252, text, 4, 1200, out, &length, 0), 3077);
    CHECK_EQ(length, 0);
    length = sizeof out;
    CHECK_EQ(ccIntlTranslateStr(handle, 1252, text, 4, 1200, out, &length, 0), 0);
    CHECK_EQ(length, 8);
    CHECK_EQ(memcmp(out, "c\0a\0f\0\xE9\0", 8), 0);
    /* Identifiers from 0x8000 wrap negative. */
    length = sizeof out;
    CHECK_EQ(ccIntlTranslateStr(handle, (int16_t)0x8591, text, 4, 1200, out, &length, 0), 0);
    CHECK_EQ(length, 8);
    CHECK_EQ(ccIntlUnloadTables(handle), 0);

    CHECK_EQ(ccIntlTerminate(handle), 0);
    /* The handle is dead now: every call answers without touching it. */
    length = sizeof out;
    CHECK_EQ(ccIntlTranslateStr(handle, 1252, text, 4, 1200, out, &length, 0), 3073);
    CHECK_EQ(ccIntlTerminate(handle), 3073);
    CHECK_EQ(ccIntlUnloadTables(handle), 0);
    CHECK_EQ(ccIntlTerminate(NULL), 3073);
    CHECK_EQ(ccIntlUnloadTables(NULL), 0);
    CHECK_EQ(ccIntlTranslateStr(NULL, 1252, text, 4, 1200, out, &length, 0), 3073);

    tccIntlCtxtStruct* untouched = (tccIntlCtxtStruct*)&g_failures;
    if (ccIntlInit("/nonexistent-folder-for-glossel", 0, "en", &untouched) == 0) {
        ++g_failures;
    }
    CHECK_EQ(untouched == (tccIntlCtxtStruct*)&g_failures, 1);

    if (g_failures == 0) {
        printf("all export checks passed\n");
    }
    return g_failures == 0 ? 0 : 1;
}
