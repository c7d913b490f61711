#include "uThresholdRange.h"

#include <QRegularExpression>

namespace {

std::optional<double> Number(const QString &text)
{
    static const QRegularExpression kNumber(QStringLiteral("^-?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)$"));
    if (!kNumber.match(text).hasMatch())
        return std::nullopt;
    return text.toDouble();
}

} // namespace

std::optional<TThresholdRange> TThresholdRange::Parse(const QString &text, QString *error)
{
    const auto fail = [&](const QString &why) -> std::optional<TThresholdRange> {
        if (error)
            *error = QStringLiteral("'%1' is not a range (%2).").arg(text, why);
        return std::nullopt;
    };
    TThresholdRange range;
    range.FText = text;
    QString rest = text;
    if (rest.startsWith(QLatin1Char('@'))) {
        range.FInside = true;
        rest.remove(0, 1);
    }
    const qsizetype colon = rest.indexOf(QLatin1Char(':'));
    const QString start = colon < 0 ? QStringLiteral("0") : rest.left(colon);
    const QString end = colon < 0 ? rest : rest.mid(colon + 1);
    if (start != QLatin1String("~")) {
        range.FStart = Number(start);
        if (!range.FStart)
            return fail(start.isEmpty() ? QStringLiteral("no start before ':'")
                                        : QStringLiteral("'%1' is not a number").arg(start));
    }
    if (!end.isEmpty()) {
        range.FEnd = Number(end);
        if (!range.FEnd)
            return fail(QStringLiteral("'%1' is not a number").arg(end));
    } else if (colon < 0) {
        return fail(QStringLiteral("empty"));
    }
    if (range.FStart && range.FEnd && *range.FStart > *range.FEnd)
        return fail(QStringLiteral("its start is above its end"));
    return range;
}

bool TThresholdRange::Alerts(double value) const
{
    const bool inside = (!FStart || value >= *FStart) && (!FEnd || value <= *FEnd);
    return FInside ? inside : !inside;
}
