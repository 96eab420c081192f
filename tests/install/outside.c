/* A program from outside the project, built against the installed headers and libraries. */
#include <chronel/chronel.h>
#include <glossel/glossel.h>
#include <stdio.h>

int main(int argc, char** argv) {
    tccIntlCtxtStruct* handle = NULL;
    int32_t rc = ccIntlInit(argc > 1 ? argv[1] : "", 4, "en", &handle);
    if (rc != 0) {
        printf("ccIntlInit: %d\n", (int)rc);
        return 1;
    }
    const uint8_t text[] = {'c', 'a', 'f', 0xE9};
    uint8_t unicode[16];
    uint32_t length = sizeof unicode;
    rc = ccIntlTranslateStr(handle, 1252, text, sizeof text, CC_INTL_SET_UNICODE, unicode, &length,
                            0);
    printf("translate: %d,", (int)rc);
    for (uint32_t i = 0; i < length; ++i)
        printf(" %02x", unicode[i]);
    printf("\n");
    (void)ccIntlTerminate(handle);

    tccDTCtxtCountryInfoStruct info;
    ccTm when = {5, 4, 3, 7, 2, 126, 0, 0, 0}; /* 7 March 2026, 03:04:05 */
    unsigned char date[64];
    if (ccDTCtxtGetCountryInfo(&info) != CCDT_SUCCESS ||
        ccDTCtxtGetDateString(&info, &when, date, sizeof date) != CCDT_SUCCESS) {
        printf("chronel failed\n");
        return 1;
    }
    printf("date: %s\n", (const char*)date);
    return 0;
}
