#include "tools/HandbookGenerator.h"

#include <QFile>
#include <QList>
#include <QSaveFile>
#include <QStringEncoder>

#include <algorithm>
#include <iterator>

namespace varnel::tools {
namespace {

// A small generator of our own, so that every standard library makes the same file.
class Random {
public:
    explicit Random(quint32 seed) : state_(0x9E3779B97F4A7C15ull ^ seed) { next(); }
    quint32 next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return quint32(state_ >> 16);
    }
    int below(int n) { return int(next() % quint32(n)); }
    bool chance(int percent) { return below(100) < percent; }

private:
    quint64 state_;
};

struct Region {
    const char16_t* adjective; // feminine form
    const char16_t* stem;      // short name stem
};

const Region kRegions[] = {
    {u"Северная", u"Сев"},       {u"Южная", u"Юж"},
    {u"Восточная", u"Вост"},     {u"Западная", u"Зап"},
    {u"Центральная", u"Центр"},  {u"Уральская", u"Урал"},
    {u"Сибирская", u"Сиб"},      {u"Волжская", u"Волж"},
    {u"Балтийская", u"Балт"},    {u"Дальневосточная", u"ДВ"},
    {u"Приморская", u"Прим"},    {u"Камская", u"Кам"},
    {u"Ростовская", u"Рост"},    {u"Енисейская", u"Енис"},
    {u"Ладожская", u"Ладож"},    {u"Окская", u"Окск"},
    {u"Тверская", u"Твер"},      {u"Алтайская", u"Алт"},
    {u"Байкальская", u"Байк"},   {u"Печорская", u"Печор"},
    {u"Кубанская", u"Кубан"},    {u"Невская", u"Нев"},
    {u"Ангарская", u"Ангар"},    {u"Таймырская", u"Таймыр"},
    {u"Северо-Западная", u"СЗ"}, {u"Среднерусская", u"СрРус"},
    {u"Беломорская", u"Белмор"}, {u"Каспийская", u"Касп"},
    {u"Черноморская", u"Черн"},  {u"Амурская", u"Амур"},
};

struct Business {
    const char16_t* noun; // with its adjective; {} stands for the region's adjective
    const char16_t* abbreviation;
    bool masculine;
};

const Business kBusinesses[] = {
    {u"энергетическая компания", u"Энерго", false},
    {u"нефтяная компания", u"Нефть", false},
    {u"телекоммуникационная компания", u"Телеком", false},
    {u"лизинговая компания", u"Лизинг", false},
    {u"транспортная компания", u"Транс", false},
    {u"горно-металлургическая компания", u"ГМК", false},
    {u"девелоперская компания", u"Девел", false},
    {u"генерирующая компания", u"Генер", false},
    {u"сетевая компания", u"Сеть", false},
    {u"угольная компания", u"Уголь", false},
    {u"химическая компания", u"Хим", false},
    {u"финансовая компания", u"Финанс", false},
    {u"трубный завод", u"ТрубЗ", true},
    {u"машиностроительный завод", u"Маш", true},
    {u"металлургический комбинат", u"МК", true},
    {u"коммерческий банк", u"Банк", true},
    {u"шинный завод", u"Шина", true},
    {u"целлюлозно-бумажный комбинат", u"ЦБК", true},
    {u"судостроительный завод", u"Верфь", true},
    {u"нефтеперерабатывающий завод", u"НПЗ", true},
    {u"морской торговый порт", u"Порт", true},
};

struct Subfederal {
    const char16_t* issuer;
    const char16_t* shortName;
    const char* code;
};

const Subfederal kSubfederal[] = {
    {u"Департамент финансов города Москвы", u"Москва", "MOS"},
    {u"Комитет финансов Санкт-Петербурга", u"СПетерб", "SPB"},
    {u"Министерство финансов Московской области", u"МосОбл", "MOO"},
    {u"Министерство финансов Новосибирской области", u"НовсибОб", "NSK"},
    {u"Министерство финансов Красноярского края", u"КрасЯрКр", "KRK"},
    {u"Министерство финансов Свердловской области", u"СвердлОб", "SVE"},
    {u"Министерство управления финансами Самарской области", u"СамарОбл", "SAM"},
    {u"Министерство финансов Республики Татарстан", u"Татарстан", "TAT"},
    {u"Министерство финансов Нижегородской области", u"НижгорОб", "NIZ"},
    {u"Министерство финансов Краснодарского края", u"Кубань", "KRD"},
    {u"Министерство финансов Республики Саха (Якутия)", u"Якутия", "YAK"},
    {u"Комитет финансов Волгоградской области", u"ВолгогрОб", "VLG"},
};

const char16_t kMinfin[] = u"Министерство финансов Российской Федерации";
const char kRegionLetters[] = "ABDEFHLNPRT";

QString Masculine(const QString& feminine)
{
    if (feminine.endsWith(QStringLiteral("кая")))
        return feminine.left(feminine.size() - 3) + QStringLiteral("кий");
    if (feminine.endsWith(QStringLiteral("ая")))
        return feminine.left(feminine.size() - 2) + QStringLiteral("ый");
    return feminine;
}

QString Digits(int value, int width)
{
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

QString Base36(quint32 value, int width)
{
    static const char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    QString text(width, u'0');
    for (int i = width - 1; i >= 0; --i) {
        text[i] = QLatin1Char(kAlphabet[value % 36]);
        value /= 36;
    }
    return text;
}

QString Escaped(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        switch (c.unicode()) {
        case '&': out += QStringLiteral("&amp;"); break;
        case '<': out += QStringLiteral("&lt;"); break;
        case '>': out += QStringLiteral("&gt;"); break;
        case '"': out += QStringLiteral("&quot;"); break;
        default: out += c;
        }
    }
    return out;
}

struct Issuer {
    QString name; // "ПАО «Уральская энергетическая компания»"
    QString shortStem; // "УралЭнерго"
    QString ticker;    // four Latin letters
    int code = 0;      // five digits of the registration numbers
    QChar regionLetter;
    int bonds = 0; // series issued so far
    int shareIssues = 0;
};

QString Ticker(quint32 n)
{
    QString t;
    for (int i = 0; i < 4; ++i) {
        t += QLatin1Char(char('A' + n % 26));
        n /= 26;
    }
    return t;
}

QList<Issuer> MakeIssuers(Random& random)
{
    QList<Issuer> issuers;
    static const char16_t* const kForms[] = {u"ПАО", u"АО", u"ООО", u"АО", u"ПАО"};
    const int regions = int(std::size(kRegions));
    const int businesses = int(std::size(kBusinesses));
    int index = 0;
    for (int b = 0; b < businesses; ++b) {
        for (int r = 0; r < regions; ++r, ++index) {
            const Region& region = kRegions[(r * 7 + b * 3) % regions];
            const Business& business = kBusinesses[b];
            const QString adjective = QString::fromUtf16(region.adjective);
            const QString formed = business.masculine ? Masculine(adjective) : adjective;
            QString noun = QString::fromUtf16(business.noun);
            Issuer issuer;
            issuer.name = QString::fromUtf16(kForms[random.below(5)]) + QStringLiteral(" «") +
                          formed + u' ' + noun + u'»';
            issuer.shortStem =
                QString::fromUtf16(region.stem) + QString::fromUtf16(business.abbreviation);
            issuer.ticker = Ticker(quint32(index) * 2654435761u % 456976u);
            issuer.code = 10000 + int((quint32(index) * 7919u + 1237u) % 89999u);
            issuer.regionLetter = QLatin1Char(kRegionLetters[random.below(11)]);
            issuers.append(issuer);
        }
    }
    // Shuffled, so that a small demo list already mixes industries.
    for (qsizetype i = issuers.size() - 1; i > 0; --i)
        issuers.swapItemsAt(i, random.below(int(i + 1)));
    return issuers;
}

// The attributes in the order kHandbookAttributes names them.
enum Attribute {
    kCode,
    kShortName,
    kName,
    kIsin,
    kRegNum,
    kIssuer,
    kKind,
    kFaceValue,
    kCurrency,
    kIssueSize,
    kIssueDate,
    kMaturityDate,
    kAttributeCount
};
static_assert(kAttributeCount == std::size(kHandbookAttributes));

struct Instrument {
    QString values[kAttributeCount];
};

QString IsoDate(const QDate& date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

} // namespace

int IsinCheckDigit(const QString& first11)
{
    QString digits;
    for (QChar c : first11) {
        if (c.isDigit())
            digits += c;
        else
            digits += QString::number(c.toUpper().unicode() - 'A' + 10);
    }
    int sum = 0;
    bool doubled = true; // the rightmost digit is doubled
    for (qsizetype i = digits.size() - 1; i >= 0; --i) {
        int d = digits.at(i).digitValue();
        if (doubled) {
            d *= 2;
            if (d > 9)
                d -= 9;
        }
        sum += d;
        doubled = !doubled;
    }
    return (10 - sum % 10) % 10;
}

QByteArray GenerateHandbook(const HandbookOptions& options)
{
    Random random(options.seed);
    QList<Issuer> issuers = MakeIssuers(random);
    const QDate firstIssue(2006, 1, 1);

    QString text;
    text.reserve(qsizetype(options.instruments) * 300 + 256);
    text += QStringLiteral("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n");
    text += QStringLiteral("<IssueList Language=\"RU\" Created=\"%1\" Count=\"%2\">\r\n")
                .arg(options.stamp.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")))
                .arg(options.instruments);

    QList<Instrument> instruments;
    instruments.reserve(options.instruments);
    int ofz = 0;
    int subfederal = 0;
    for (int i = 0; i < options.instruments; ++i) {
        Instrument& in = instruments.emplace_back();
        QString& code = in.values[kCode];
        QString& shortName = in.values[kShortName];
        QString& fullName = in.values[kName];
        QString& issuerName = in.values[kIssuer];
        QString& isin = in.values[kIsin];
        QString& regNum = in.values[kRegNum];
        QString& secType = in.values[kKind];
        QString& faceValue = in.values[kFaceValue];
        QString& currency = in.values[kCurrency];
        QString& issueSize = in.values[kIssueSize];
        QString& issueDate = in.values[kIssueDate];
        QString& matDate = in.values[kMaturityDate];

        const QDate issued = firstIssue.addDays(random.below(19 * 365));
        issueDate = IsoDate(issued);
        currency = QStringLiteral("RUB");
        faceValue = QStringLiteral("1000");
        issueSize = QString::number((1 + random.below(300)) * 10000);
        // New-style ISINs are numbered through, so none repeats.
        const QString isinBody = QStringLiteral("RU000A") + Base36(quint32(0x1000 + i * 37), 5);
        isin = isinBody + QString::number(IsinCheckDigit(isinBody));

        const int kind = random.below(100);
        if (kind < 12) {
            // Federal loan bonds.
            static const struct {
                int base;
                const char16_t* type;
            } kSeries[] = {{26000, u"с постоянным купонным доходом"},
                           {29000, u"с переменным купонным доходом"},
                           {52000, u"с индексируемым номиналом"},
                           {25000, u"с постоянным купонным доходом"}};
            const auto& series = kSeries[ofz % 4];
            const int number = series.base + 200 + ofz / 4 % 800 + ofz / 3200 * 1000;
            ++ofz;
            regNum = QString::number(number) + QStringLiteral("RMFS");
            const QString secid = QStringLiteral("SU") + regNum;
            code = secid + QString::number(IsinCheckDigit(secid.left(11)));
            shortName = QStringLiteral("ОФЗ ") + QString::number(number);
            fullName = QStringLiteral("Облигации федерального займа ") +
                       QString::fromUtf16(series.type) + QStringLiteral(", выпуск ") +
                       QString::number(number);
            issuerName = QString::fromUtf16(kMinfin);
            secType = QStringLiteral("Облигация");
            matDate = IsoDate(issued.addYears(3 + random.below(14)));
        } else if (kind < 20) {
            const Subfederal& region = kSubfederal[subfederal % std::size(kSubfederal)];
            const int number = 34000 + subfederal;
            ++subfederal;
            regNum = QStringLiteral("RU") + QString::number(number) + QLatin1String(region.code);
            code = isin;
            shortName =
                QString::fromUtf16(region.shortName) + u' ' + QString::number(number % 100 + 1);
            fullName = QStringLiteral("Облигации государственного займа, выпуск ") +
                       QString::number(number);
            issuerName = QString::fromUtf16(region.issuer);
            secType = QStringLiteral("Облигация");
            matDate = IsoDate(issued.addYears(3 + random.below(8)));
        } else {
            Issuer& issuer = issuers[random.below(int(issuers.size()))];
            issuerName = issuer.name;
            const QString tail = QStringLiteral("-%1-%2").arg(issuer.code).arg(issuer.regionLetter);
            if (kind < 35 && issuer.shareIssues < 9) {
                const bool preferred = random.chance(25);
                const int issue = ++issuer.shareIssues;
                code = preferred ? issuer.ticker + u'P' : issuer.ticker;
                if (issue > 1)
                    code += QString::number(issue);
                shortName =
                    issuer.shortStem + (preferred ? QStringLiteral("-ап") : QStringLiteral("-ао"));
                fullName = preferred ? QStringLiteral("Акции привилегированные именные")
                                     : QStringLiteral("Акции обыкновенные именные");
                regNum = QStringLiteral("%1-0%2").arg(preferred ? 2 : 1).arg(issue) + tail;
                secType = QStringLiteral("Акция");
                issueSize = QString::number(qint64(1 + random.below(5000)) * 1000000);
                static const char* const kFace[] = {"0.01", "0.1", "1", "10", "100", "0.001"};
                faceValue = QLatin1String(kFace[random.below(6)]);
            } else {
                const int series = ++issuer.bonds;
                const bool exchange = kind < 80;
                code = isin;
                if (exchange) {
                    const int programme = 1 + (series - 1) / 40;
                    const int number = (series - 1) % 40 + 1;
                    shortName =
                        issuer.shortStem + QStringLiteral(" %1P%2").arg(programme).arg(number);
                    fullName = QStringLiteral("Биржевые облигации процентные, серия %1P-%2")
                                   .arg(Digits(programme, 3), Digits(number, 2));
                    regNum = QStringLiteral("4B02-%1").arg(Digits(series % 100, 2)) + tail +
                             QStringLiteral("-%1P").arg(Digits(programme, 3));
                    secType = QStringLiteral("Облигация");
                } else {
                    shortName = issuer.shortStem + QStringLiteral(" БО-") + Digits(series % 100, 2);
                    fullName = QStringLiteral("Облигации процентные документарные, серия ") +
                               Digits(series % 100, 2);
                    regNum = QStringLiteral("4-%1").arg(Digits(series % 100, 2)) + tail;
                    secType = QStringLiteral("Облигация");
                }
                const int c = random.below(100);
                if (c < 8)
                    currency = QStringLiteral("CNY");
                else if (c < 11)
                    currency = QStringLiteral("USD");
                else if (c < 12)
                    currency = QStringLiteral("EUR");
                matDate = IsoDate(issued.addYears(1 + random.below(10)));
            }
        }
    }

    // Sorted by code, as the registry sends them; an empty attribute is left out.
    std::stable_sort(
        instruments.begin(), instruments.end(),
        [](const Instrument& a, const Instrument& b) { return a.values[kCode] < b.values[kCode]; });
    for (const Instrument& in : instruments) {
        text += QStringLiteral("<Issue");
        for (int a = 0; a < kAttributeCount; ++a) {
            if (in.values[a].isEmpty())
                continue;
            text += u' ';
            text += QLatin1String(kHandbookAttributes[a]);
            text += QStringLiteral("=\"");
            text += Escaped(in.values[a]);
            text += u'"';
        }
        text += QStringLiteral(" />\r\n");
    }
    text += QStringLiteral("</IssueList>\r\n");

    QStringEncoder cp1251("windows-1251");
    return cp1251.encode(text);
}

bool WriteHandbook(const QString& path, const HandbookOptions& options, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    file.write(GenerateHandbook(options));
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace varnel::tools
