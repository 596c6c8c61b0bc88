// The module's lists of installed records (NVMe pass-through, storage security): singly linked
// through their Next member, in installation order.
#pragma once

#include "platform/uefi/pi/PiPeiCis.h"

template <class Record> VOID AppendRecord(Record** Head, Record* Item) {
    Record** Tail = Head;
    while (*Tail != nullptr)
        Tail = &(*Tail)->Next;
    *Tail = Item;
}

template <class Record> VOID UnlinkRecord(Record** Head, Record* Item) {
    for (Record** Link = Head; *Link != nullptr; Link = &(*Link)->Next)
        if (*Link == Item) {
            *Link = Item->Next;
            return;
        }
}
