#include "glimmo/colortext.h"

#include <stdexcept>

namespace glimmo {
namespace {

struct NamedColor {
    TColor value;
    const char *name;
};

constexpr NamedColor kNamedColors[] = {
    {0x000000, "clBlack"},   {0x000080, "clMaroon"},  {0x008000, "clGreen"},    {0x008080, "clOlive"},
    {0x800000, "clNavy"},    {0x800080, "clPurple"},  {0x808000, "clTeal"},     {0x808080, "clGray"},
    {0xC0C0C0, "clSilver"},  {0x0000FF, "clRed"},     {0x00FF00, "clLime"},     {0x00FFFF, "clYellow"},
    {0xFF0000, "clBlue"},    {0xFF00FF, "clFuchsia"}, {0xFFFF00, "clAqua"},     {0xFFFFFF, "clWhite"},
    {0xC0DCC0, "clMoneyGreen"}, {0xF0CAA6, "clSkyBlue"}, {0xF0FBFF, "clCream"}, {0xA4A0A0, "clMedGray"},
    {0x1FFFFFFF, "clNone"},  {0x20000000, "clDefault"},
};

} // namespace

QString ColorToString(TColor color)
{
    for (const NamedColor &named : kNamedColors)
        if (named.value == color)
            return QString::fromLatin1(named.name);
    return QStringLiteral("$%1").arg(quint32(color), 8, 16, QLatin1Char('0')).toUpper();
}

TColor StringToColor(const QString &text)
{
    const QString t = text.trimmed();
    for (const NamedColor &named : kNamedColors)
        if (t.compare(QLatin1String(named.name), Qt::CaseInsensitive) == 0)
            return named.value;
    bool ok = false;
    qint64 value = 0;
    if (t.startsWith(QLatin1Char('$')))
        value = t.mid(1).toLongLong(&ok, 16);
    else if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        value = t.mid(2).toLongLong(&ok, 16);
    else
        value = t.toLongLong(&ok, 10);
    if (!ok || value < INT32_MIN || value > UINT32_MAX)
        throw std::invalid_argument(QStringLiteral("'%1' is not a valid colour").arg(text).toStdString());
    return TColor(uint32_t(value));
}

QColor ToQColor(TColor color)
{
    const auto v = uint32_t(color);
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

} // namespace glimmo
