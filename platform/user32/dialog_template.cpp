// Reading dialog templates: the records are WORD-aligned, each item starts on
// a DWORD boundary counted from the template's start, texts are UTF-16.
#include "dialog_template.h"

#include <platform/cp1252.h>

#include <cstdint>
#include <cstring>

namespace user32 {

namespace {

class Reader {
public:
    Reader(const void* data, size_t size) : p_(static_cast<const BYTE*>(data)), size_(size) {}

    bool Word(WORD& v) { return Bytes(&v, 2); }
    bool Dword(DWORD& v) { return Bytes(&v, 4); }
    bool Short(short& v) { return Bytes(&v, 2); }
    bool Byte(BYTE& v) { return Bytes(&v, 1); }

    bool Bytes(void* out, size_t n) {
        if (n > size_ - at_) return false;
        memcpy(out, p_ + at_, n);
        at_ += n;
        return true;
    }

    // A zero-terminated UTF-16 text, made ANSI.
    bool Text(std::string& out) {
        out.clear();
        for (;;) {
            WORD c;
            if (!Word(c)) return false;
            if (c == 0) return true;
            out += static_cast<char>(platform::cp1252::FromUnicode(static_cast<char16_t>(c)));
        }
    }

    bool Name(NameOrId& out) {
        WORD first;
        if (!Word(first)) return false;
        out = NameOrId{};
        if (first == 0xFFFF) {
            out.isId = true;
            return Word(out.id);
        }
        if (first == 0) return true;
        at_ -= 2;
        return Text(out.text);
    }

    bool AlignTo(size_t n) {
        size_t next = (at_ + n - 1) / n * n;
        if (next > size_) return false;
        at_ = next;
        return true;
    }

private:
    const BYTE* p_;
    size_t size_;
    size_t at_ = 0;
};

bool ReadItems(Reader& r, bool extended, WORD count, std::vector<DialogItem>& items) {
    items.clear();
    for (WORD i = 0; i < count; ++i) {
        DialogItem item;
        if (!r.AlignTo(4)) return false;
        if (extended) {
            DWORD helpId;
            if (!r.Dword(helpId) || !r.Dword(item.exStyle) || !r.Dword(item.style)) return false;
        } else {
            if (!r.Dword(item.style) || !r.Dword(item.exStyle)) return false;
        }
        if (!r.Short(item.x) || !r.Short(item.y) || !r.Short(item.cx) || !r.Short(item.cy)) return false;
        if (extended) {
            if (!r.Dword(item.id)) return false;
        } else {
            WORD id;
            if (!r.Word(id)) return false;
            item.id = id;
        }
        if (!r.Name(item.windowClass) || !r.Name(item.title)) return false;
        WORD extra;
        if (!r.Word(extra)) return false;
        if (extra) {
            // The count includes itself in the classic form's documentation but not in
            // what compilers write; the bytes follow either way, WORD-aligned.
            item.creationData.resize(extra);
            if (!r.Bytes(item.creationData.data(), extra)) return false;
        }
        items.push_back(std::move(item));
    }
    return true;
}

}  // namespace

DWORD ParseDialogTemplate(const void* data, size_t size, DialogTemplate& t) {
    if (!data) return ERROR_INVALID_PARAMETER;
    t = DialogTemplate{};
    Reader r(data, size);
    WORD first[2];
    if (size < 4) return ERROR_INVALID_DATA;
    memcpy(first, data, 4);
    WORD count;
    if (first[0] == 1 && first[1] == 0xFFFF) {
        t.extended = true;
        DWORD skip;
        if (!r.Dword(skip) || !r.Dword(skip) || !r.Dword(t.exStyle) || !r.Dword(t.style)) return ERROR_INVALID_DATA;
    } else {
        if (!r.Dword(t.style) || !r.Dword(t.exStyle)) return ERROR_INVALID_DATA;
    }
    if (!r.Word(count) || !r.Short(t.x) || !r.Short(t.y) || !r.Short(t.cx) || !r.Short(t.cy)) return ERROR_INVALID_DATA;
    if (!r.Name(t.menu) || !r.Name(t.windowClass) || !r.Text(t.title)) return ERROR_INVALID_DATA;
    if (t.style & DS_SETFONT) {
        t.hasFont = true;
        if (!r.Word(t.pointSize)) return ERROR_INVALID_DATA;
        if (t.extended) {
            BYTE italic, charset;
            if (!r.Word(t.weight) || !r.Byte(italic) || !r.Byte(charset)) return ERROR_INVALID_DATA;
            t.italic = italic != 0;
        }
        if (!r.Text(t.typeface)) return ERROR_INVALID_DATA;
    }
    if (!ReadItems(r, t.extended, count, t.items)) return ERROR_INVALID_DATA;
    return ERROR_SUCCESS;
}

std::string PredefinedClassName(WORD atom) {
    switch (atom) {
    case 0x80: return "button";
    case 0x81: return "edit";
    case 0x82: return "static";
    case 0x83: return "listbox";
    case 0x84: return "scrollbar";
    case 0x85: return "combobox";
    default: return {};
    }
}

BaseUnits BaseUnitsFromFont(int widthOf52Letters, int height) {
    return BaseUnits{(widthOf52Letters / 26 + 1) / 2, height};
}

int MulDivRound(int number, int numerator, int denominator) {
    if (denominator == 0) return -1;
    int64_t product = static_cast<int64_t>(number) * numerator;
    int64_t half = (denominator < 0 ? -denominator : denominator) / 2;
    // Rounds half away from zero, as MulDiv does.
    bool negative = (product < 0) != (denominator < 0);
    int64_t magnitude = (product < 0 ? -product : product) + half;
    int64_t q = magnitude / (denominator < 0 ? -denominator : denominator);
    return static_cast<int>(negative ? -q : q);
}

RECT DialogUnitsToPixels(const RECT& u, BaseUnits base) {
    return RECT{MulDivRound(u.left, base.cx, 4), MulDivRound(u.top, base.cy, 8), MulDivRound(u.right, base.cx, 4),
                MulDivRound(u.bottom, base.cy, 8)};
}

int PointsToPixels(int points) { return MulDivRound(points, 96, 72); }

}  // namespace user32
