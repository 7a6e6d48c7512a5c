/* A small video codec driver for the demo machine.
 *
 * It compresses nothing: it answers the video compression manager's
 * messages from a description kept in its own CODECINFO resource (type
 * "CODECINFO", id 1), so one source serves every demo codec. The resource
 * format is described in the README (section "The codec driver resource"); the program's own reader
 * (ParseCodecInfoText) follows the same rules and must stay in step.
 *
 * Built without the C runtime: kernel32 and user32 are the only imports. */

#include <windows.h>
/* The message numbers and answers come from the system's own header, so the
 * driver cannot drift from what the real manager sends. */
#include <vfw.h>

#define NAME_MAX_CHARS 15
#define DESCRIPTION_MAX_CHARS 127
#define DIALOG_TEXT_MAX_CHARS 1023

/* The leading fields of the record the manager passes with DRV_OPEN. */
typedef struct {
    DWORD dwSize;
    DWORD fccType;
    DWORD fccHandler;
    DWORD dwVersion;
    DWORD dwFlags;
    LRESULT dwError;
} OPENPARAMS;

typedef struct {
    DWORD dwSize;
    DWORD fccType;
    DWORD fccHandler;
    DWORD dwFlags;
    DWORD dwVersion;
    DWORD dwVersionICM;
    WCHAR szName[16];
    WCHAR szDescription[128];
    WCHAR szDriver[128];
} CODECRECORD;

typedef char CodecRecordIs568Bytes[sizeof(CODECRECORD) == 568 ? 1 : -1];

/* The compiler may turn loops into these calls even without a C runtime. */
void *memset(void *dst, int c, size_t n)
{
    volatile unsigned char *p = (volatile unsigned char *)dst;
    while (n--) *p++ = (unsigned char)c;
    return dst;
}

void *memcpy(void *dst, const void *src, size_t n)
{
    volatile unsigned char *d = (volatile unsigned char *)dst;
    const unsigned char *s = (const unsigned char *)src;
    while (n--) *d++ = *s++;
    return dst;
}

static HMODULE g_module;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

/* ---- Reading the resource text ------------------------------------------ */

typedef struct {
    const char *p;
    size_t n;
} Text;

/* The text ends at the resource's end or at its first zero byte. */
static Text ResourceText(void)
{
    Text t = {0, 0};
    HRSRC res = FindResourceA(g_module, MAKEINTRESOURCEA(1), "CODECINFO");
    HGLOBAL mem;
    if (!res) return t;
    mem = LoadResource(g_module, res);
    if (!mem) return t;
    t.p = (const char *)LockResource(mem);
    if (!t.p) return t;
    t.n = SizeofResource(g_module, res);
    for (size_t i = 0; i < t.n; ++i)
        if (t.p[i] == 0) {
            t.n = i;
            break;
        }
    return t;
}

static int IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

static char Lower(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c + 32) : c; }

static Text Trim(Text t)
{
    while (t.n && IsBlank(*t.p)) { ++t.p; --t.n; }
    while (t.n && IsBlank(t.p[t.n - 1])) --t.n;
    return t;
}

static int EqualsNoCase(Text t, const char *word)
{
    size_t i = 0;
    for (; i < t.n; ++i)
        if (!word[i] || Lower(t.p[i]) != Lower(word[i])) return 0;
    return word[i] == 0;
}

/* Calls visit(key, value, context) for every "Key=Value" line, in order. */
typedef void (*LineVisitor)(Text key, Text value, void *context);

static void ForEachEntry(Text all, LineVisitor visit, void *context)
{
    size_t pos = 0;
    while (pos < all.n) {
        Text line, key, value;
        size_t end = pos, eq;
        while (end < all.n && all.p[end] != '\n') ++end;
        line.p = all.p + pos;
        line.n = end - pos;
        pos = end + 1;
        line = Trim(line);
        if (!line.n || line.p[0] == ';') continue;
        for (eq = 0; eq < line.n && line.p[eq] != '='; ++eq) {}
        if (eq == line.n) continue;
        key.p = line.p;
        key.n = eq;
        value.p = line.p + eq + 1;
        value.n = line.n - eq - 1;
        visit(Trim(key), Trim(value), context);
    }
}

typedef struct {
    const char *key;
    Text value;
    int found;
} LastValue;

static void KeepLast(Text key, Text value, void *context)
{
    LastValue *lv = (LastValue *)context;
    if (EqualsNoCase(key, lv->key)) {
        lv->value = value;
        lv->found = 1;
    }
}

/* The value of the key's last line; found = 0 when the key is missing. */
static LastValue ValueOf(const char *key)
{
    LastValue lv = {key, {0, 0}, 0};
    ForEachEntry(ResourceText(), KeepLast, &lv);
    return lv;
}

static int IsYes(const char *key)
{
    LastValue lv = ValueOf(key);
    return lv.found && EqualsNoCase(lv.value, "yes");
}

/* Decimal or 0x hexadecimal; anything else is 0; past 32 bits the low bits stay. */
static DWORD NumberOf(const char *key)
{
    LastValue lv = ValueOf(key);
    Text t = lv.value;
    DWORD v = 0;
    size_t i = 0;
    int hex = t.n > 2 && t.p[0] == '0' && (t.p[1] == 'x' || t.p[1] == 'X');
    if (hex) i = 2;
    if (i == t.n) return 0;
    for (; i < t.n; ++i) {
        char c = Lower(t.p[i]);
        if (c >= '0' && c <= '9')
            v = v * (hex ? 16 : 10) + (DWORD)(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            v = v * 16 + (DWORD)(c - 'a' + 10);
        else
            return 0;
    }
    return v;
}

/* ---- FOURCC routing -------------------------------------------------------- */

typedef struct {
    char handler[4];
    size_t handlerLen;
    int listed;  /* some Fourccs line holds a usable entry */
    int every;   /* "*" was listed */
    int matched;
} Routing;

static void CheckFourccLine(Text key, Text value, void *context)
{
    Routing *r = (Routing *)context;
    size_t pos = 0;
    if (!EqualsNoCase(key, "fourccs")) return;
    while (pos <= value.n) {
        Text item;
        size_t end = pos;
        while (end < value.n && value.p[end] != ',') ++end;
        item.p = value.p + pos;
        item.n = end - pos;
        pos = end + 1;
        item = Trim(item);
        if (item.n == 1 && item.p[0] == '*') {
            r->every = 1;
            continue;
        }
        if (item.n == 0 || item.n > 4) continue;
        r->listed = 1;
        if (item.n == r->handlerLen) {
            size_t i = 0;
            while (i < item.n && Lower(item.p[i]) == Lower(r->handler[i])) ++i;
            if (i == item.n) r->matched = 1;
        }
    }
}

/* Trailing blanks and zero bytes of a code are padding: "ab1 " is listed as "ab1". */
static int AnswersTo(DWORD handler)
{
    Routing r;
    int i;
    memset(&r, 0, sizeof r);
    for (i = 0; i < 4; ++i) r.handler[i] = (char)((handler >> (8 * i)) & 0xFF);
    for (i = 0; i < 4 && r.handler[i]; ++i) {}
    r.handlerLen = (size_t)i;
    while (r.handlerLen && r.handler[r.handlerLen - 1] == ' ') --r.handlerLen;
    ForEachEntry(ResourceText(), CheckFourccLine, &r);
    if (r.every || !r.listed) return 1;
    return r.matched;
}

static int IsVideoType(DWORD type)
{
    char c[4];
    int i;
    for (i = 0; i < 4; ++i) c[i] = Lower((char)((type >> (8 * i)) & 0xFF));
    return c[0] == 'v' && c[1] == 'i' && c[2] == 'd' && c[3] == 'c';
}

/* ---- Messages ------------------------------------------------------------- */

static void CopyWide(WCHAR *dst, int room, const char *key, int maxChars)
{
    LastValue lv = ValueOf(key);
    int n = (int)lv.value.n;
    if (n > maxChars) n = maxChars;
    if (n > 0) n = MultiByteToWideChar(1252, 0, lv.value.p, n, dst, room - 1);
    dst[n > 0 ? n : 0] = 0;
}

static LRESULT GetInfo(DWORD_PTR instance, CODECRECORD *info, LPARAM size)
{
    WCHAR path[MAX_PATH];
    DWORD len, start, i;
    if (!info) return sizeof(CODECRECORD);
    if (size < (LPARAM)sizeof(CODECRECORD)) return 0;
    memset(info, 0, sizeof(CODECRECORD));
    info->dwSize = sizeof(CODECRECORD);
    info->fccType = mmioFOURCC('v', 'i', 'd', 'c');
    info->fccHandler = instance == 1 ? 0 : (DWORD)instance;
    info->dwFlags = NumberOf("flags");
    info->dwVersion = NumberOf("version");
    info->dwVersionICM = 0x104;
    CopyWide(info->szName, 16, "name", NAME_MAX_CHARS);
    CopyWide(info->szDescription, 128, "description", DESCRIPTION_MAX_CHARS);
    /* The driver's own file name, without its folder. */
    len = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (len >= MAX_PATH) len = 0;
    start = 0;
    for (i = 0; i < len; ++i)
        if (path[i] == '\\' || path[i] == '/') start = i + 1;
    for (i = start; i < len && i - start < 127; ++i) info->szDriver[i - start] = path[i];
    return sizeof(CODECRECORD);
}

static char g_dialogText[DIALOG_TEXT_MAX_CHARS + 1];
static char g_dialogTitle[NAME_MAX_CHARS + 1];

/* The text with each "\n" turned into a line break, cut to its room. */
static void DialogText(const char *key)
{
    Text t = ValueOf(key).value;
    size_t i = 0, n = 0;
    while (i < t.n && n < DIALOG_TEXT_MAX_CHARS) {
        if (t.p[i] == '\\' && i + 1 < t.n && t.p[i + 1] == 'n') {
            g_dialogText[n++] = '\n';
            i += 2;
        } else {
            g_dialogText[n++] = t.p[i++];
        }
    }
    g_dialogText[n] = 0;
}

static LRESULT Dialog(const char *offeredKey, const char *textKey, LPARAM query)
{
    Text name;
    size_t i;
    if (!IsYes(offeredKey)) return ICERR_UNSUPPORTED;
    if (query == -1) return ICERR_OK;
    DialogText(textKey);
    name = ValueOf("name").value;
    for (i = 0; i < name.n && i < NAME_MAX_CHARS; ++i) g_dialogTitle[i] = name.p[i];
    g_dialogTitle[i] = 0;
    MessageBoxA(NULL, g_dialogText, g_dialogTitle, MB_OK | MB_ICONINFORMATION);
    return ICERR_OK;
}

LRESULT WINAPI DriverProc(DWORD_PTR driverId, HANDLE driver, UINT msg, LPARAM p1, LPARAM p2)
{
    switch (msg) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_CLOSE:
    case DRV_INSTALL:
    case DRV_REMOVE:
        return 1;
    case DRV_QUERYCONFIGURE:
        return 0;
    case DRV_OPEN: {
        OPENPARAMS *open = (OPENPARAMS *)p2;
        if (!open) return 1;
        if (!IsVideoType(open->fccType) || !AnswersTo(open->fccHandler)) {
            open->dwError = ICERR_UNSUPPORTED;
            return 0;
        }
        open->dwError = ICERR_OK;
        /* The handler code is the instance, so ICM_GETINFO can report it. */
        return open->fccHandler > 1 ? (LRESULT)open->fccHandler : 1;
    }
    case ICM_GETINFO:
        return GetInfo(driverId, (CODECRECORD *)p1, p2);
    case ICM_CONFIGURE:
        return Dialog("configure", "configuretext", p1);
    case ICM_ABOUT:
        return Dialog("about", "abouttext", p1);
    default:
        return ICERR_UNSUPPORTED;
    }
}
