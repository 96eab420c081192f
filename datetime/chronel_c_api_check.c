/* Calls the library through its public header from C, as outside callers do. */
#include <stddef.h>

#include "chronel/chronel.h"

int32_t ChronelCApiRoundTrip(tccDTCtxtCountryInfoStruct* info, char* date, char* time,
                             uint32_t size);

/* 0 when every call answered as expected, else the number of the first call that did not;
 * date and time receive the texts of 7 March 2001, 14:05:09 by the record read. */
int32_t ChronelCApiRoundTrip(tccDTCtxtCountryInfoStruct* info, char* date, char* time,
                             uint32_t size) {
    ccTm t = {9, 5, 14, 7, 2, 101, 0, 0, 0};
    if (ccDTCtxtGetCountryInfo(NULL) != CCDT_FAILURE) {
        return 1;
    }
    if (ccDTCtxtGetCountryInfo(info) != CCDT_SUCCESS) {
        return 2;
    }
    if (ccDTCtxtGetDateString(info, &t, (unsigned char*)date, size) != CCDT_SUCCESS) {
        return 3;
    }
    if (ccDTCtxtGetTimeString(info, &t, (unsigned char*)time, size) != CCDT_SUCCESS) {
        return 4;
    }
    if (ccDTCtxtGetDateString(info, NULL, (unsigned char*)date, size) != CCDT_FAILURE) {
        return 5;
    }
    if (ccDTCtxtGetTimeString(NULL, &t, (unsigned char*)time, size) != CCDT_FAILURE) {
        return 6;
    }
    return 0;
}
