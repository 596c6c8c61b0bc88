/* A C program that links Lanthe and calls each of its exports, printing what they gave. */
#include <stdio.h>

#include "lanthe/Lanthe.h"

int main(void) {
    int32_t port = -1;
    OddPowerStateRecord record;
    char driver[100] = "";
    const int32_t connected = ConnectToZPODDDriver(&port);
    const bool read = ReadOddPowerState(&record, (uint8_t)port);
    const int32_t decoded = GetZPODDStatusValue(&record);
    const int32_t info = GetDriverInfo(driver, (int32_t)sizeof driver);
    printf("connect %d port %d\n", (int)connected, (int)port);
    printf("read %d: %s|%s|%s|%s|%s|%s\n", read && decoded == 0, record.powerState, record.platformSupport,
           record.driveSupport, record.tray, record.media, record.message);
    printf("driver %d %s\n", (int)info, driver);
    return 0;
}
