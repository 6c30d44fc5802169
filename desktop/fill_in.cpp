#include "desktop/fill_in.h"

QString fillIn(const char* text, std::initializer_list<QString> values) {
    const QString format = QString::fromUtf8(text);
    QString out;
    out.reserve(format.size());
    for (qsizetype i = 0; i < format.size(); ++i) {
        const bool slot = format[i] == '{' && i + 2 < format.size() && format[i + 1].isDigit() &&
                          format[i + 2] == '}';
        const int n = slot ? format[i + 1].digitValue() : 0;
        if (slot && n >= 1 && n <= static_cast<int>(values.size())) {
            out += *(values.begin() + (n - 1));
            i += 2;
        } else {
            out += format[i];
        }
    }
    return out;
}
