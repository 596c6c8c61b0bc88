/* A C program that links HalvexApi and calls each of its exports, printing what they gave. */
#include <stdio.h>

#include "halvexapi/HalvexApi.h"

int main(void) {
    PinningStatus status = {0};
    PinFileEntry pins[2] = {{-1, L"C:\\Data\\report.docx"}, {-1, L"C:\\Data\\missing.txt"}};
    PinFileList pinList = {2, pins};
    PinStatusFileEntry query = {-1, L"C:\\Data\\report.docx", -1, -1};
    PinStatusFileList queryList = {1, &query};
    FileCacheStatus cache;
    PinningApiVersion version = {0, 0, 0, 0};
    int32_t result;

    result = HalvexGetPinningStatus(&status);
    printf("status %d state %d\n", (int)result, (int)status.state);
    result = HalvexPinFiles(&pinList);
    printf("pin %d results %d %d\n", (int)result, (int)pins[0].result, (int)pins[1].result);
    printf("migration %d\n", (int)HalvexTriggerMigration());
    result = HalvexGetPinStatusFiles(&queryList);
    printf("pin status %d values %d %d %d\n", (int)result, (int)query.result, (int)query.secondStatus,
           (int)query.thirdStatus);
    printf("file cache %d\n", (int)HalvexGetFileCacheStatus(&cache));
    result = HalvexGetPinningApiVersion(&version);
    printf("version %d %d.%d\n", (int)result, (int)version.major, (int)version.minor);
    pinList.count = 1;
    printf("unpin %d\n", (int)HalvexUnpinFiles(&pinList));
    printf("null list %d\n", (int)HalvexPinFiles(NULL));
    return 0;
}
