// A threshold range as monitoring plugins take it: "10" (outside 0 to 10),
// "10:" (below 10), "~:10" (above 10), "10:20" (outside 10 to 20) and
// "@10:20" (inside 10 to 20, both ends included) alert.
#pragma once

#include <QString>

#include <optional>

class TThresholdRange {
public:
    // The range of a text, or none with the reason in error.
    static std::optional<TThresholdRange> Parse(const QString &text, QString *error);

    // Whether value lies where the range alerts.
    bool Alerts(double value) const;
    // The text it was read from, as it goes into the performance data.
    const QString &Text() const { return FText; }

private:
    QString FText;
    std::optional<double> FStart; // none: minus infinity
    std::optional<double> FEnd;   // none: infinity
    bool FInside = false;         // "@": alert inside
};
