#include "dialog_template.h"

#include "resource_image.h"

namespace restest {

namespace {

class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    bool Ok() const { return ok_; }
    size_t Offset() const { return at_; }

    template <typename T>
    T Read()
    {
        T value{};
        if (!Need(sizeof(T)))
            return value;
        for (size_t i = 0; i < sizeof(T); ++i)
            reinterpret_cast<uint8_t*>(&value)[i] = bytes_[at_ + i];
        at_ += sizeof(T);
        return value;
    }

    std::wstring ReadString()
    {
        std::wstring text;
        for (;;) {
            wchar_t c = static_cast<wchar_t>(Read<WORD>());
            if (!ok_ || c == 0)
                return text;
            text.push_back(c);
        }
    }

    NameOrOrdinal ReadNameOrOrdinal()
    {
        NameOrOrdinal value;
        WORD first = Read<WORD>();
        if (first == 0xFFFF) {
            value.isOrdinal = true;
            value.ordinal = Read<WORD>();
        } else if (first != 0) {
            value.name.push_back(static_cast<wchar_t>(first));
            value.name += ReadString();
        }
        return value;
    }

    void Skip(size_t count)
    {
        if (Need(count))
            at_ += count;
    }

    void AlignToDword()
    {
        size_t aligned = (at_ + 3) & ~size_t(3);
        // The padding after the last item may be cut off by the resource's end.
        at_ = aligned <= bytes_.size() ? aligned : bytes_.size();
    }

private:
    bool Need(size_t count)
    {
        if (at_ + count > bytes_.size())
            ok_ = false;
        return ok_;
    }

    const std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
    bool ok_ = true;
};

void ReadHeader(Reader& in, DialogTemplate& dialog, WORD& count)
{
    WORD version = in.Read<WORD>();
    WORD signature = in.Read<WORD>();
    dialog.extended = version == 1 && signature == 0xFFFF;
    if (dialog.extended) {
        dialog.helpId = in.Read<DWORD>();
        dialog.exStyle = in.Read<DWORD>();
        dialog.style = in.Read<DWORD>();
    } else {
        dialog.style = MAKELONG(version, signature);
        dialog.exStyle = in.Read<DWORD>();
    }
    count = in.Read<WORD>();
    dialog.x = in.Read<short>();
    dialog.y = in.Read<short>();
    dialog.cx = in.Read<short>();
    dialog.cy = in.Read<short>();
    dialog.menu = in.ReadNameOrOrdinal();
    dialog.windowClass = in.ReadNameOrOrdinal();
    dialog.title = in.ReadString();
    dialog.hasFont = (dialog.style & (DS_SETFONT | DS_SHELLFONT)) != 0;
    if (dialog.hasFont) {
        dialog.pointSize = in.Read<WORD>();
        if (dialog.extended) {
            dialog.weight = in.Read<WORD>();
            dialog.italic = in.Read<BYTE>();
            dialog.charset = in.Read<BYTE>();
        }
        dialog.typeface = in.ReadString();
    }
}

DialogItem ReadItem(Reader& in, bool extended)
{
    DialogItem item;
    in.AlignToDword();
    if (extended) {
        item.helpId = in.Read<DWORD>();
        item.exStyle = in.Read<DWORD>();
        item.style = in.Read<DWORD>();
    } else {
        item.style = in.Read<DWORD>();
        item.exStyle = in.Read<DWORD>();
    }
    item.x = in.Read<short>();
    item.y = in.Read<short>();
    item.cx = in.Read<short>();
    item.cy = in.Read<short>();
    item.id = extended ? in.Read<DWORD>() : in.Read<WORD>();
    item.windowClass = in.ReadNameOrOrdinal();
    item.text = in.ReadNameOrOrdinal();
    item.extraBytes = in.Read<WORD>();
    in.Skip(item.extraBytes);
    return item;
}

}  // namespace

NameOrOrdinal Ordinal(WORD value)
{
    NameOrOrdinal result;
    result.isOrdinal = true;
    result.ordinal = value;
    return result;
}

NameOrOrdinal Name(const std::wstring& value)
{
    NameOrOrdinal result;
    result.name = value;
    return result;
}

std::string Describe(const NameOrOrdinal& value)
{
    if (value.isOrdinal)
        return "#" + std::to_string(value.ordinal);
    return "\"" + Utf8(value.name) + "\"";
}

NameOrOrdinal PredefinedClass(const char* name)
{
    static const char* const names[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
    for (WORD i = 0; i < 6; ++i)
        if (lstrcmpiA(names[i], name) == 0)
            return Ordinal(static_cast<WORD>(0x80 + i));
    return Name(std::wstring(name, name + lstrlenA(name)));
}

DialogTemplate ParseDialogTemplate(const std::vector<uint8_t>& bytes)
{
    DialogTemplate dialog;
    Reader in(bytes);
    WORD count = 0;
    ReadHeader(in, dialog, count);
    for (WORD i = 0; i < count && in.Ok(); ++i)
        dialog.items.push_back(ReadItem(in, dialog.extended));
    dialog.parsed = in.Ok();
    if (!dialog.parsed)
        dialog.error = "template ends early, near byte " + std::to_string(in.Offset());
    else if (in.Offset() != bytes.size())
        dialog.error = std::to_string(bytes.size() - in.Offset()) + " bytes after the last item";
    return dialog;
}

}  // namespace restest
