#include "util/ascii_name.h"

#include <QLibrary>
#include <QMutex>
#include <array>

namespace vn {

namespace {

struct Romaji {
    const char16_t* kana;
    const char* latin;
};

constexpr std::array<Romaji, 50> TwoCharacter = {{
    {u"キャ", "kya"}, {u"キュ", "kyu"}, {u"キョ", "kyo"}, {u"シャ", "sha"}, {u"シュ", "shu"}, {u"ショ", "sho"},
    {u"チャ", "cha"}, {u"チュ", "chu"}, {u"チョ", "cho"}, {u"ニャ", "nya"}, {u"ニュ", "nyu"}, {u"ニョ", "nyo"},
    {u"ヒャ", "hya"}, {u"ヒュ", "hyu"}, {u"ヒョ", "hyo"}, {u"ミャ", "mya"}, {u"ミュ", "myu"}, {u"ミョ", "myo"},
    {u"リャ", "rya"}, {u"リュ", "ryu"}, {u"リョ", "ryo"}, {u"ギャ", "gya"}, {u"ギュ", "gyu"}, {u"ギョ", "gyo"},
    {u"ジャ", "ja"},  {u"ジュ", "ju"},  {u"ジョ", "jo"},  {u"ヂャ", "ja"},  {u"ヂュ", "ju"},  {u"ヂョ", "jo"},
    {u"ビャ", "bya"}, {u"ビュ", "byu"}, {u"ビョ", "byo"}, {u"ピャ", "pya"}, {u"ピュ", "pyu"}, {u"ピョ", "pyo"},
    {u"クヮ", "kwa"}, {u"グヮ", "gwa"}, {u"ファ", "fa"},  {u"フィ", "fi"},  {u"フェ", "fe"},  {u"フォ", "fo"},
    {u"ウァ", "wha"}, {u"ウィ", "wi"},  {u"ウェ", "we"},  {u"ウォ", "wo"},  {u"ヴァ", "va"},  {u"ヴィ", "vi"},
    {u"ヴェ", "ve"},  {u"ヴォ", "vo"},
}};

constexpr std::array<Romaji, 86> OneCharacter = {{
    {u"ア", "a"},  {u"イ", "i"},  {u"ウ", "u"},   {u"エ", "e"},  {u"オ", "o"},  {u"カ", "ka"}, {u"キ", "ki"},
    {u"ク", "ku"}, {u"ケ", "ke"}, {u"コ", "ko"},  {u"サ", "sa"}, {u"シ", "shi"}, {u"ス", "su"}, {u"セ", "se"},
    {u"ソ", "so"}, {u"タ", "ta"}, {u"チ", "chi"}, {u"ツ", "tsu"}, {u"テ", "te"}, {u"ト", "to"}, {u"ナ", "na"},
    {u"ニ", "ni"}, {u"ヌ", "nu"}, {u"ネ", "ne"},  {u"ノ", "no"}, {u"ハ", "ha"}, {u"ヒ", "hi"}, {u"フ", "fu"},
    {u"ヘ", "he"}, {u"ホ", "ho"}, {u"マ", "ma"},  {u"ミ", "mi"}, {u"ム", "mu"}, {u"メ", "me"}, {u"モ", "mo"},
    {u"ヤ", "ya"}, {u"ユ", "yu"}, {u"ヨ", "yo"},  {u"ラ", "ra"}, {u"リ", "ri"}, {u"ル", "ru"}, {u"レ", "re"},
    {u"ロ", "ro"}, {u"ワ", "wa"}, {u"ヰ", "i"},   {u"ヱ", "e"},  {u"ヲ", "o"},  {u"ガ", "ga"}, {u"ギ", "gi"},
    {u"グ", "gu"}, {u"ゲ", "ge"}, {u"ゴ", "go"},  {u"ザ", "za"}, {u"ジ", "ji"}, {u"ズ", "zu"}, {u"ゼ", "ze"},
    {u"ゾ", "zo"}, {u"ダ", "da"}, {u"ヂ", "ji"},  {u"ヅ", "zu"}, {u"デ", "de"}, {u"ド", "do"}, {u"バ", "ba"},
    {u"ビ", "bi"}, {u"ブ", "bu"}, {u"ベ", "be"},  {u"ボ", "bo"}, {u"パ", "pa"}, {u"ピ", "pi"}, {u"プ", "pu"},
    {u"ペ", "pe"}, {u"ポ", "po"}, {u"ン", "n"},   {u"ヴ", "vu"}, {u"ァ", "a"},  {u"ィ", "i"},  {u"ゥ", "u"},
    {u"ェ", "e"},  {u"ォ", "o"},  {u"ャ", "ya"},  {u"ュ", "yu"}, {u"ョ", "yo"}, {u"ヶ", "ga"}, {u"ヵ", "ka"},
    {u"。", "_"},  {u"、", "_"},
}};

constexpr char16_t SmallTsu = u'ッ';
constexpr char16_t LongVowel = u'ー';

// Readings longer than this are cut, as the analyser's answers are for one run of a title.
constexpr int ReadingCapacity = 1024;

bool isKana(char16_t c)
{
    return (c >= 0x3041 && c <= 0x3096) || (c >= 0x30a1 && c <= 0x30fa) || c == LongVowel;
}

// The analyser, loaded once when first needed: its C interface through the shared library, so the
// program runs (with empty readings) where it is not installed.
class Analyser {
public:
    static Analyser& instance()
    {
        static Analyser a;
        return a;
    }

    bool available() const { return tagger_ != nullptr; }

    QString reading(QStringView text)
    {
        QMutexLocker lock(&mutex_);
        if (!tagger_)
            return {};
        const QByteArray utf8 = text.toUtf8();
        const char* out = parse_(tagger_, utf8.constData());
        if (!out)
            return {};
        QString reading = QString::fromUtf8(out);
        reading.remove(QLatin1Char('\n'));
        reading.remove(QLatin1Char('\r'));
        return reading;
    }

private:
    using NewFn = void* (*)(const char*);
    using ParseFn = const char* (*)(void*, const char*);
    using DestroyFn = void (*)(void*);

    Analyser()
    {
        library_.setFileNameAndVersion(QStringLiteral("mecab"), 2);
        if (!library_.load())
            return;
        auto create = reinterpret_cast<NewFn>(library_.resolve("mecab_new2"));
        parse_ = reinterpret_cast<ParseFn>(library_.resolve("mecab_sparse_tostr"));
        destroy_ = reinterpret_cast<DestroyFn>(library_.resolve("mecab_destroy"));
        if (!create || !parse_ || !destroy_)
            return;
        // "yomi" prints each word's katakana reading, and an unknown word as it stands.
        tagger_ = create("-Oyomi");
    }
    ~Analyser()
    {
        if (tagger_)
            destroy_(tagger_);
    }

    QLibrary library_;
    QMutex mutex_;
    void* tagger_ = nullptr;
    ParseFn parse_ = nullptr;
    DestroyFn destroy_ = nullptr;
};

void append(QString& out, QLatin1StringView text, int capacity)
{
    const qsizetype room = capacity - 1 - out.size();
    if (room > 0)
        out += text.first(std::min(room, text.size()));
}

} // namespace

bool readingsAvailable()
{
    return Analyser::instance().available();
}

QString katakanaReading(QStringView text)
{
    bool allKana = true;
    for (QChar c : text)
        allKana = allKana && isKana(c.unicode());
    QString reading;
    if (allKana) {
        for (QChar c : text) {
            const char16_t u = c.unicode();
            reading += QChar(u >= 0x3041 && u <= 0x3096 ? char16_t(u + 0x60) : u); // hiragana to katakana
        }
    } else {
        reading = Analyser::instance().reading(text);
    }
    return reading.left(ReadingCapacity - 1);
}

QString transliterate(QStringView kana, int capacity)
{
    QString out;
    bool doubling = false;
    qsizetype i = 0;
    while (i < kana.size() && out.size() < capacity - 1) {
        const char16_t c = kana[i].unicode();
        if (c == SmallTsu) {
            doubling = true;
            ++i;
            continue;
        }
        if (c == LongVowel) {
            if (out.isEmpty())
                append(out, QLatin1StringView("-"), capacity);
            else
                out += out.back();
            ++i;
            continue;
        }
        const char* latin = nullptr;
        int used = 0;
        if (i + 1 < kana.size()) {
            for (const Romaji& r : TwoCharacter) {
                if (r.kana[0] == c && r.kana[1] == kana[i + 1].unicode()) {
                    latin = r.latin;
                    used = 2;
                    break;
                }
            }
        }
        if (!latin) {
            for (const Romaji& r : OneCharacter) {
                if (r.kana[0] == c) {
                    latin = r.latin;
                    used = 1;
                    break;
                }
            }
        }
        if (!latin) {
            append(out, QLatin1StringView("_"), capacity);
            ++i;
            continue;
        }
        if (doubling) {
            doubling = false;
            append(out, QLatin1StringView(latin, 1), capacity);
        }
        append(out, QLatin1StringView(latin), capacity);
        i += used;
    }
    return out;
}

QString MakeAsciiName(QStringView input, int capacity)
{
    QString out;
    qsizetype runStart = -1;
    auto flushRun = [&](qsizetype end) {
        if (runStart < 0)
            return;
        const QString reading = katakanaReading(input.sliced(runStart, end - runStart));
        out += transliterate(reading, capacity - int(out.size()));
        runStart = -1;
    };
    for (qsizetype i = 0; i < input.size() && out.size() < capacity - 1; ++i) {
        const char16_t c = input[i].unicode();
        if (c >= 128) {
            if (runStart < 0)
                runStart = i;
            continue;
        }
        flushRun(i);
        if (out.size() >= capacity - 1)
            break;
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'
                          || c == '-';
        out += keep ? QChar(c) : QChar(u'_');
    }
    if (runStart >= 0 && out.size() < capacity - 1)
        flushRun(input.size());
    return out;
}

} // namespace vn
