#pragma once

// A data-driven test's table: its columns declared at once, and a function
// that adds a row with the values in column order, of the column types
// (a text column also takes a UTF-8 literal):
//   const auto row = tarvelin::table<QString, int>({"text", "count"});
//   row("a name", "text", 3);
#include <QTest>

#include <array>
#include <type_traits>

namespace tarvelin {

struct TableText : QString {
    TableText() = default;
    TableText(const char *utf8) : QString(QString::fromUtf8(utf8)) {}
    template <typename S>
        requires std::is_convertible_v<S, QString>
    TableText(const S &text) : QString(text) {}
};

template <typename... T>
auto table(const std::array<const char *, sizeof...(T)> &names)
{
    std::size_t column = 0;
    (QTest::addColumn<T>(names[column++]), ...);
    return [](const char *name, const std::conditional_t<std::is_same_v<T, QString>, TableText, T> &...values) {
        (QTest::newRow(name) << ... << static_cast<const T &>(values));
    };
}

} // namespace tarvelin
