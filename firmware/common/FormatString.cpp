#include "firmware/common/FirmwarePrint.h"

namespace {

// The output buffer: at most Limit characters, then the terminator.
struct Output {
    CHAR8* Buffer;
    UINTN Limit;
    UINTN Position;
    // Set when a line break no longer fits: the output ends before it, so it never ends in half a
    // line break.
    BOOLEAN Full;

    UINTN Room() const { return Limit - Position; }

    void Put(CHAR8 Character) {
        if (Character == '\n') {
            if (Room() < 2) {
                Full = TRUE;
                return;
            }
            Buffer[Position++] = '\r';
        } else if (Room() < 1) {
            Full = TRUE;
            return;
        }
        Buffer[Position++] = Character;
    }
};

// Adds a digit to a width or precision, saturating far above anything a buffer could hold.
void AddDigit(UINTN* Number, CHAR8 Digit) {
    if (*Number < 0x10000u)
        *Number = *Number * 10 + (UINTN)(Digit - '0');
}

// Copies a name (of %r or %R) into the room left.
void PutName(Output* Out, const CHAR8* Name) {
    while (*Name != '\0' && !Out->Full)
        Out->Put(*Name++);
}

} // namespace

UINTN FormatStringV(CHAR8* Buffer, UINTN Size, const CHAR8* Format, VA_LIST Arguments) {
    if (!Buffer || Size == 0)
        return 0;
    Output out = {Buffer, Size - 1, 0, FALSE};
    const CHAR8* f = Format ? Format : "";

    while (*f != '\0' && out.Position < out.Limit && !out.Full) {
        if (*f != '%') {
            out.Put(*f++);
            continue;
        }
        ++f;
        UINTN flags = 0;
        UINTN width = 0;
        UINTN precision = 0;
        BOOLEAN inNumber = FALSE;
        BOOLEAN toPrecision = FALSE;
        for (;; ++f) {
            const CHAR8 c = *f;
            if (c == '-') {
                flags |= FORMAT_LEFT_JUSTIFY;
            } else if (c == '0' && !inNumber) {
                flags |= FORMAT_ZERO_FILL;
            } else if (c >= '0' && c <= '9') {
                UINTN* number = toPrecision ? &precision : &width;
                if (!inNumber)
                    *number = 0;
                AddDigit(number, c);
                inNumber = TRUE;
                continue;
            } else if (c == '.') {
                flags |= FORMAT_PRECISION;
                toPrecision = TRUE;
            } else if (c != 'l') {
                break;
            }
            inNumber = FALSE;
        }

        const CHAR8 letter = *f;
        if (letter != '\0')
            ++f;
        switch (letter) {
        case '%':
            out.Put('%');
            break;
        case 'c':
            out.Put((CHAR8)(VA_ARG(Arguments, UINTN) & 0xFF));
            break;
        case 'd':
        case 'u':
        case 'x':
        case 'X': {
            const UINT32 value = (UINT32)VA_ARG(Arguments, UINTN);
            if (letter == 'u')
                flags |= FORMAT_UNSIGNED;
            if (letter == 'X')
                flags |= FORMAT_ZERO_FILL;
            const UINTN base = (letter == 'x' || letter == 'X') ? 16 : 10;
            out.Position +=
                FormatInteger(out.Buffer + out.Position, value, flags, width, precision, out.Room(), base);
            break;
        }
        case 's': {
            const CHAR8* text = VA_ARG(Arguments, const CHAR8*);
            if (!text)
                text = "<null string>";
            UINTN taken = 0;
            while (*text != '\0' && (precision == 0 || taken < precision) && !out.Full && out.Room() > 0) {
                out.Put(*text++);
                ++taken;
            }
            // Strings are always left-justified.
            while (taken < width && !out.Full && out.Room() > 0) {
                out.Put(' ');
                ++taken;
            }
            break;
        }
        case 'r': {
            CHAR8 name[32];
            StatusToString((EFI_STATUS)VA_ARG(Arguments, UINTN), name, sizeof(name));
            PutName(&out, name);
            break;
        }
        case 'R':
            PutName(&out, RaidLevelToString((UINT16)VA_ARG(Arguments, UINTN)));
            break;
        default:
            // An unknown directive, or a format ending in "%": the output ends here.
            out.Full = TRUE;
            break;
        }
    }
    out.Buffer[out.Position] = '\0';
    return out.Position;
}

UINTN FormatString(CHAR8* Buffer, UINTN Size, const CHAR8* Format, ...) {
    VA_LIST arguments;
    VA_START(arguments, Format);
    const UINTN written = FormatStringV(Buffer, Size, Format, arguments);
    VA_END(arguments);
    return written;
}
