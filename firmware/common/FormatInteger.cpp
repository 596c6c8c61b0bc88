#include "firmware/common/FirmwarePrint.h"

UINTN FormatInteger(CHAR8* Buffer, UINT32 Value, UINTN Flags, UINTN Width, UINTN Precision, UINTN Room,
                    UINTN Base) {
    static const CHAR8 kDigits[] = "0123456789ABCDEF";
    // A base below 2 has no digits to write (and would never end); above 16 there are no digit letters.
    if (!Buffer || Base < 2 || Base > 16)
        return 0;

    const BOOLEAN negative = Base == 10 && (Value & 0x80000000u) != 0 && (Flags & FORMAT_UNSIGNED) == 0;
    UINT32 magnitude = negative ? ~Value + 1u : Value;
    // Least significant first; the sign goes after the most significant digit, so it leads once the
    // string is turned round, and the fill goes before it.
    CHAR8 digits[34];
    UINTN length = 0;
    do {
        digits[length++] = kDigits[magnitude % (UINT32)Base];
        magnitude /= (UINT32)Base;
    } while (magnitude != 0);
    if (negative)
        digits[length++] = '-';

    const BOOLEAN precisionWins = (Flags & FORMAT_PRECISION) != 0 && Precision > Width;
    const CHAR8 pad =
        (((Flags & FORMAT_ZERO_FILL) != 0 && (Flags & FORMAT_LEFT_JUSTIFY) == 0) || precisionWins) ? '0'
                                                                                                   : ' ';
    const UINTN field = Width > Precision ? Width : Precision;
    const UINTN fill = field > length ? field - length : 0;

    UINTN written = 0;
    if ((Flags & FORMAT_LEFT_JUSTIFY) != 0 && Width > Precision) {
        for (UINTN i = length; i > 0 && written < Room; --i)
            Buffer[written++] = digits[i - 1];
        for (UINTN i = 0; i < fill && written < Room; ++i)
            Buffer[written++] = pad;
    } else {
        for (UINTN i = 0; i < fill && written < Room; ++i)
            Buffer[written++] = pad;
        for (UINTN i = length; i > 0 && written < Room; --i)
            Buffer[written++] = digits[i - 1];
    }
    Buffer[written] = '\0';
    return written;
}
