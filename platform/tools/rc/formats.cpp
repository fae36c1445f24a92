// Windows' binary resource formats.
#include "formats.h"

namespace rc {

std::vector<Resource> StringBundles(const std::map<std::pair<uint16_t, uint16_t>, std::u16string>& strings) {
    std::vector<Resource> out;
    auto it = strings.begin();
    while (it != strings.end()) {
        uint16_t language = it->first.first;
        uint32_t block = it->first.second / 16u;
        std::u16string slots[16];
        for (; it != strings.end() && it->first.first == language && it->first.second / 16u == block; ++it)
            slots[it->first.second % 16] = it->second;
        Bytes b;
        for (const std::u16string& s : slots) {
            b.Word(static_cast<uint16_t>(s.size()));
            b.Text(s);
        }
        Resource r;
        r.type = 6;  // RT_STRING
        r.id = block + 1;
        r.language = language;
        r.data = b.Take();
        out.push_back(std::move(r));
    }
    return out;
}

std::string MessageTable(const std::map<uint32_t, std::u16string>& messages, std::vector<uint8_t>& out) {
    // Runs of consecutive ids form the blocks.
    std::vector<std::pair<uint32_t, uint32_t>> blocks;
    for (const auto& [id, text] : messages) {
        if (!blocks.empty() && blocks.back().second + 1 == id) blocks.back().second = id;
        else blocks.emplace_back(id, id);
    }
    Bytes b;
    b.Dword(static_cast<uint32_t>(blocks.size()));
    std::vector<size_t> offsetAt;
    for (const auto& [low, high] : blocks) {
        b.Dword(low);
        b.Dword(high);
        offsetAt.push_back(b.Size());
        b.Dword(0);
    }
    size_t blockIndex = 0;
    for (const auto& [id, text] : messages) {
        if (blockIndex < blocks.size() && id == blocks[blockIndex].first) b.PatchDword(offsetAt[blockIndex++], static_cast<uint32_t>(b.Size()));
        size_t length = 4 + (text.size() + 1) * 2;
        length = (length + 3) & ~size_t{3};
        if (length > 0xFFFF) return "message " + std::to_string(id) + " is longer than a message table entry can hold";
        size_t start = b.Size();
        b.Word(static_cast<uint16_t>(length));
        b.Word(1);  // MESSAGE_RESOURCE_UNICODE
        b.Text(text);
        while (b.Size() < start + length) b.Word(0);
    }
    out = b.Take();
    return "";
}

namespace {

std::string Node(Bytes& b, const std::u16string& key, uint16_t type, const std::vector<uint8_t>& value,
                 uint16_t valueLength, const std::vector<VersionNode>& children);

std::string Child(Bytes& b, const VersionNode& n) {
    if (n.block) return Node(b, n.key, 1, {}, 0, n.children);
    if (n.text) {
        Bytes v;
        v.Text(n.textValue);
        v.Word(0);
        return Node(b, n.key, 1, v.Take(), static_cast<uint16_t>(n.textValue.size() + 1), n.children);
    }
    return Node(b, n.key, 0, n.binary, static_cast<uint16_t>(n.binary.size()), n.children);
}

// wLength counts the node with its value and children, but not the padding after its end.
std::string Node(Bytes& b, const std::u16string& key, uint16_t type, const std::vector<uint8_t>& value,
                 uint16_t valueLength, const std::vector<VersionNode>& children) {
    b.Align4();
    size_t start = b.Size();
    b.Word(0);
    b.Word(valueLength);
    b.Word(type);
    b.Text(key);
    b.Word(0);
    b.Align4();
    b.Raw(value);
    for (const VersionNode& c : children) {
        b.Align4();
        if (std::string err = Child(b, c); !err.empty()) return err;
    }
    if (b.Size() - start > 0xFFFF) return "the version block is larger than 64 KiB";
    b.PatchWord(start, static_cast<uint16_t>(b.Size() - start));
    return "";
}

}  // namespace

std::string VersionInfo(const FixedFileInfo& f, const std::vector<VersionNode>& blocks, std::vector<uint8_t>& out) {
    Bytes fixed;
    for (uint32_t v : {0xFEEF04BDu, 0x00010000u, f.fileVersionMS, f.fileVersionLS, f.productVersionMS,
                       f.productVersionLS, f.fileFlagsMask, f.fileFlags, f.fileOS, f.fileType, f.fileSubtype, 0u, 0u})
        fixed.Dword(v);
    std::vector<uint8_t> value = fixed.Take();
    Bytes b;
    std::string err = Node(b, u"VS_VERSION_INFO", 0, value, static_cast<uint16_t>(value.size()), blocks);
    out = b.Take();
    return err;
}

namespace {

void NameOrOrd(Bytes& b, const NameOrOrdinal& n) {
    if (n.isOrdinal) {
        b.Word(0xFFFF);
        b.Word(n.ordinal);
    } else {
        b.Text(n.name);
        b.Word(0);
    }
}

}  // namespace

std::string DialogTemplate(const Dialog& d, std::vector<uint8_t>& out) {
    constexpr uint32_t kSetFont = 0x40;  // DS_SETFONT
    if (d.controls.size() > 0xFFFF) return "a dialog holds at most 65535 controls";
    bool font = (d.style & kSetFont) != 0;
    if (font && !d.hasFont) return "a dialog with the DS_SETFONT style needs a FONT statement";
    Bytes b;
    if (d.extended) {
        b.Word(1);
        b.Word(0xFFFF);
        b.Dword(d.helpId);
        b.Dword(d.exStyle);
        b.Dword(d.style);
    } else {
        b.Dword(d.style);
        b.Dword(d.exStyle);
    }
    b.Word(static_cast<uint16_t>(d.controls.size()));
    for (int16_t v : {d.x, d.y, d.cx, d.cy}) b.Word(static_cast<uint16_t>(v));
    NameOrOrd(b, d.menu);
    NameOrOrd(b, d.className);
    b.Text(d.caption);
    b.Word(0);
    if (font) {
        b.Word(d.font.pointSize);
        if (d.extended) {
            b.Word(d.font.weight);
            b.Raw({d.font.italic, d.font.charset});
        }
        b.Text(d.font.typeface);
        b.Word(0);
    }
    for (const DialogControl& c : d.controls) {
        b.Align4();
        if (d.extended) {
            b.Dword(c.helpId);
            b.Dword(c.exStyle);
            b.Dword(c.style);
        } else {
            b.Dword(c.style);
            b.Dword(c.exStyle);
        }
        for (int16_t v : {c.x, c.y, c.cx, c.cy}) b.Word(static_cast<uint16_t>(v));
        if (d.extended) b.Dword(c.id);
        else b.Word(static_cast<uint16_t>(c.id));
        NameOrOrd(b, c.className);
        NameOrOrd(b, c.text);
        b.Word(0);  // no creation data
    }
    out = b.Take();
    return "";
}

}  // namespace rc
