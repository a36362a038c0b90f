// The clipboard: text both ways, images (PNG, bitmap, DIB as a .bmp file, a
// copied file's bytes) and window or screen snapshots.
#include "os_w32.h"

#include <string.h>

static const StrSlice os_w32_no_bytes = {0, nullptr};

static bool os_w32_open_clipboard(void) {
    if (OpenClipboard(nullptr)) return true;
    os_diagnostic("* ERROR * Cannot open clipbeard\n");
    return false;
}

// A heap copy of a global block's whole size; empty when it has none.
static StrSlice os_w32_copy_global(HANDLE memory) {
    SIZE_T size = memory ? GlobalSize(memory) : 0;
    if (!size || size > 0x7FFFFFFE) return os_w32_no_bytes;
    void *source = GlobalLock(memory);
    if (!source) return os_w32_no_bytes;
    char *copy = (char *)os_alloc((u32)size);
    if (copy) memcpy(copy, source, size);
    GlobalUnlock(memory);
    return copy ? StrSlice{(i64)size, copy} : os_w32_no_bytes;
}

StrSlice os_clipboard_get_text(void) {
    if (!os_w32_open_clipboard()) return os_w32_no_bytes;
    StrSlice result = os_w32_no_bytes;
    HANDLE memory;
    if ((memory = GetClipboardData(CF_UNICODETEXT)) != nullptr) {
        const wchar_t *wide = (const wchar_t *)GlobalLock(memory);
        if (wide) {
            // The block may lack its terminator: convert no further than its size.
            int units = (int)(GlobalSize(memory) / sizeof(wchar_t));
            int length = 0;
            while (length < units && wide[length]) ++length;
            int bytes = length ? WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr) : 0;
            char *text = bytes > 0 ? (char *)os_alloc((u32)bytes + 1) : nullptr;
            if (text) {
                WideCharToMultiByte(CP_UTF8, 0, wide, length, text, bytes, nullptr, nullptr);
                text[bytes] = 0;
                result = StrSlice{bytes, text};
            }
            GlobalUnlock(memory);
        }
    } else if ((memory = GetClipboardData(CF_TEXT)) != nullptr) {
        result = os_w32_copy_global(memory);
    }
    CloseClipboard();
    return result;
}

i32 os_clipboard_set_text(StrSlice text) {
    const char *utf8 = text.data ? text.data : "";
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (units <= 0) units = 1;
    HGLOBAL wide_memory = GlobalAlloc(GMEM_MOVEABLE, (SIZE_T)units * sizeof(wchar_t));
    if (!wide_memory) return 1;
    size_t plain_size = text.length > 0 ? (size_t)text.length : 0;
    HGLOBAL plain_memory = GlobalAlloc(GMEM_MOVEABLE, plain_size + 1);
    if (!plain_memory) {
        GlobalFree(wide_memory);
        return 2;
    }
    wchar_t *wide = (wchar_t *)GlobalLock(wide_memory);
    if (MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, units) <= 0) wide[0] = 0;
    GlobalUnlock(wide_memory);
    char *plain = (char *)GlobalLock(plain_memory);
    if (plain_size) memcpy(plain, utf8, plain_size);
    plain[plain_size] = 0;
    GlobalUnlock(plain_memory);
    // Each step is checked: a clipboard held by another program, or a set
    // that fails, is a failure, and the blocks the system did not take are
    // ours to free.
    if (!OpenClipboard(nullptr)) {
        GlobalFree(wide_memory);
        GlobalFree(plain_memory);
        return 1;
    }
    bool done = EmptyClipboard() != 0;
    bool wide_taken = done && SetClipboardData(CF_UNICODETEXT, wide_memory) != nullptr;
    bool plain_taken = wide_taken && SetClipboardData(CF_TEXT, plain_memory) != nullptr;
    CloseClipboard();
    if (!wide_taken) GlobalFree(wide_memory);
    if (!plain_taken) GlobalFree(plain_memory);
    return plain_taken ? 0 : 1;
}

i32 os_clipboard_copy_format(u32 format, StrSlice *out) {
    if (!format) return 0;
    HANDLE memory = GetClipboardData(format);
    if (!memory) return 0;
    StrSlice copy = os_w32_copy_global(memory);
    if (!copy.data) return 0;
    CloseClipboard();
    *out = copy;
    return 1;
}

static const char *os_w32_predefined_format_name(u32 format) {
    switch (format) {
    case 1: return "CF_TEXT";
    case 2: return "CF_BITMAP";
    case 3: return "CF_METAFILEPICT";
    case 4: return "CF_SYLK";
    case 5: return "CF_DIF";
    case 6: return "CF_TIFF";
    case 7: return "CF_OEMTEXT";
    case 8: return "CF_DIB";
    case 9: return "CF_PALETTE";
    case 10: return "CF_PENDATA";
    case 11: return "CF_RIFF";
    case 12: return "CF_WAVE";
    case 13: return "CF_UNICODETEXT";
    case 14: return "CF_ENHMETAFILE";
    case 15: return "CF_HDROP";
    case 16: return "CF_LOCALE";
    case 128: return "CF_OWNERDISPLAY";
    case 130: return "CF_DSPBITMAP";
    case 131: return "CF_DSPMETAFILEPICT";
    case 142: return "CF_DSPENHMETAFILE";
    case 512: return "CF_PRIVATEFIRST";
    case 767: return "CF_PRIVATELAST";
    case 768: return "CF_GDIOBJFIRST";
    case 1023: return "CF_GDIOBJLAST";
    default: return "??? UNKNOWN PREDEFINED";
    }
}

// The registered name in UTF-8 (at most 98 characters); 0 when it has none.
static int os_w32_format_name(u32 format, char *name, int capacity) {
    wchar_t wide[99];
    int units = GetClipboardFormatNameW(format, wide, 99);
    if (units <= 0) return 0;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, units, name, capacity - 1, nullptr, nullptr);
    if (bytes < 0) bytes = 0;
    name[bytes] = 0;
    return bytes;
}

static bool os_w32_format_named(u32 format, u32 number, const char *expected) {
    if (format != number) return false;
    char name[400];
    int length = os_w32_format_name(format, name, sizeof name);
    return length == (int)strlen(expected) && memcmp(name, expected, (size_t)length) == 0;
}

// Bytes of the colour table (or the three bit-field masks) that sit between a
// DIB's header and its pixels.
static u32 os_w32_dib_table_bytes(const BITMAPINFOHEADER *header) {
    if (header->biSize == sizeof(BITMAPINFOHEADER) && header->biCompression == BI_BITFIELDS) return 12;
    u32 colours = header->biClrUsed;
    if (!colours && header->biBitCount > 0 && header->biBitCount <= 8) colours = 1u << header->biBitCount;
    return colours * 4;
}

// The DIB as a .bmp file: a 14-byte file header before the memory.
static bool os_w32_dib_file(HANDLE memory, StrSlice *out) {
    SIZE_T size = GlobalSize(memory);
    if (size < 41 || size > 0x7FFFFFF0) return false;
    const u8 *dib = (const u8 *)GlobalLock(memory);
    if (!dib) return false;
    BITMAPINFOHEADER header;
    memcpy(&header, dib, sizeof header);
    // A table between header and pixels moves them; an image size of 0 (valid
    // for uncompressed DIBs) means the rest of the block.
    u32 table = header.biSize >= 40 && header.biSize <= size ? os_w32_dib_table_bytes(&header) : 0;
    u32 image = header.biSizeImage;
    if (!image && header.biSize + table <= size) image = (u32)size - header.biSize - table;
    u64 file_size = (u64)header.biSize + table + image + 14;
    u8 *file = (u8 *)os_alloc((u32)size + 14);
    if (!file) {
        GlobalUnlock(memory);
        return false;
    }
    u32 declared = (u32)file_size, offset = header.biSize + table + 14;
    file[0] = 'B';
    file[1] = 'M';
    memcpy(file + 2, &declared, 4);
    memset(file + 6, 0, 4);
    memcpy(file + 10, &offset, 4);
    memcpy(file + 14, dib, size);
    GlobalUnlock(memory);
    out->length = (i64)(file_size < (u64)size + 14 ? file_size : (u64)size + 14);
    out->data = (char *)file;
    return true;
}

// A bitmap's pixels as a 32-bit top-down .bmp file.
static bool os_w32_bitmap_file(HBITMAP bitmap, StrSlice *out) {
    BITMAP info;
    if (!GetObjectW(bitmap, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0) return false;
    u64 pixels = (u64)info.bmWidth * (u64)info.bmHeight * 4;
    u64 header = 14 + sizeof(BITMAPINFOHEADER);
    if (pixels + header > 0x7FFFFFF0) return false;
    u8 *file = (u8 *)os_alloc_zeroed((u32)(pixels + header));
    if (!file) return false;
    BITMAPINFOHEADER *dib = (BITMAPINFOHEADER *)(file + 14);
    dib->biSize = sizeof *dib;
    dib->biWidth = info.bmWidth;
    dib->biHeight = -info.bmHeight;
    dib->biPlanes = 1;
    dib->biBitCount = 32;
    dib->biCompression = BI_RGB;
    dib->biSizeImage = (DWORD)pixels;
    HDC screen = GetDC(nullptr);
    int rows = GetDIBits(screen, bitmap, 0, (UINT)info.bmHeight, file + header, (BITMAPINFO *)dib, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != info.bmHeight) {
        os_free(file);
        return false;
    }
    u32 size = (u32)(pixels + header), offset = (u32)header;
    file[0] = 'B';
    file[1] = 'M';
    memcpy(file + 2, &size, 4);
    memcpy(file + 10, &offset, 4);
    out->length = size;
    out->data = (char *)file;
    return true;
}

// The whole file that a copied file name points at.
static bool os_w32_named_file(HANDLE memory, StrSlice *out) {
    SIZE_T size = GlobalSize(memory);
    const wchar_t *name = (const wchar_t *)GlobalLock(memory);
    if (!name) return false;
    // Copied into a terminated buffer: the block need not end in a NUL.
    wchar_t path[MAX_PATH + 1] = {};
    SIZE_T units = size / sizeof(wchar_t);
    for (SIZE_T i = 0; i < units && i < MAX_PATH && name[i]; ++i) path[i] = name[i];
    GlobalUnlock(memory);
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool done = false;
    LARGE_INTEGER file_size;
    if (GetFileSizeEx(file, &file_size) && file_size.QuadPart < 0x7FFFFFFF) {
        char *bytes = (char *)os_alloc((u32)file_size.QuadPart + 1);
        DWORD got = 0;
        if (bytes && ReadFile(file, bytes, (DWORD)file_size.QuadPart, &got, nullptr) &&
            got == (DWORD)file_size.QuadPart) {
            out->length = got;
            out->data = bytes;
            done = true;
        } else if (bytes) {
            os_free(bytes);
        }
    }
    CloseHandle(file);
    return done;
}

i32 os_clipboard_get_image(StrSlice *out) {
    if (os_w32_open_clipboard()) {
        for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format)) {
            char name[400];
            const char *shown = os_w32_format_name(format, name, sizeof name) ? name
                                                                               : os_w32_predefined_format_name(format);
            os_diagnostic("CLIP %i = %s\n", (int)format, shown);
        }
        CloseClipboard();
    }
    if (!os_w32_open_clipboard()) return 1;
    u32 png_mime = 0, png = 0, file_name = 0;
    bool bitmap = false, dib = false;
    for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format)) {
        if (os_w32_format_named(format, 0xC226, "image/png")) png_mime = format;
        if (os_w32_format_named(format, 0xC216, "PNG")) png = format;
        if (os_w32_format_named(format, 0xC007, "FileNameW")) file_name = format;
        if (format == CF_BITMAP) bitmap = true;
        if (format == CF_DIB) dib = true;
    }
    if (os_clipboard_copy_format(png_mime, out) || os_clipboard_copy_format(png, out)) return 0;
    HANDLE memory;
    if (dib && (memory = GetClipboardData(CF_DIB)) != nullptr && os_w32_dib_file(memory, out)) {
        CloseClipboard();
        return 0;
    }
    // A CF_BITMAP handle is a GDI object, not memory: its pixels are read out
    // rather than handed to GlobalSize and GlobalLock. After the DIB, which
    // the system makes from a bitmap anyway and which keeps the placed bytes.
    if (bitmap && (memory = GetClipboardData(CF_BITMAP)) != nullptr && os_w32_bitmap_file((HBITMAP)memory, out)) {
        CloseClipboard();
        return 0;
    }
    // The clipboard is closed here too: left open it would stay locked for
    // every other program.
    if (file_name && (memory = GetClipboardData(file_name)) != nullptr && os_w32_named_file(memory, out)) {
        CloseClipboard();
        return 0;
    }
    CloseClipboard();
    return 1;
}

i32 os_clipboard_snapshot_window(OsWindow *window) {
    // A closed window's handle is stale and may name another window by now.
    if (window && !(window->flags & OS_WINDOW_OPEN)) return 1;
    HWND handle = window ? (HWND)window->handle : nullptr;
    i32 width, height;
    if (handle) {
        RECT client = {};
        if (!GetClientRect(handle, &client)) return 1;
        width = client.right - client.left;
        height = client.bottom - client.top;
    } else {
        width = GetSystemMetrics(SM_CXSCREEN);
        height = GetSystemMetrics(SM_CYSCREEN);
    }
    HDC source = GetDC(handle);
    if (!source) return 1;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = memory ? CreateCompatibleBitmap(source, width, height) : nullptr;
    bool drawn = false;
    if (bitmap) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        drawn = BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY) != 0;
        SelectObject(memory, previous);
    }
    if (memory) DeleteDC(memory);
    ReleaseDC(handle, source);
    // The user's clipboard is emptied only once there is a picture to put
    // in its place and the clipboard is ours.
    bool placed = false;
    if (drawn && OpenClipboard(nullptr)) {
        placed = EmptyClipboard() && SetClipboardData(CF_BITMAP, bitmap) != nullptr;
        CloseClipboard();
    }
    if (!placed && bitmap) DeleteObject(bitmap);
    return placed ? 0 : 1;
}
