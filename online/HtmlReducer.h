// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Reduces HTML from the network (today the sponsor page) to markup that
// Qt's rich-text engine can show safely. That engine has no defence against
// hostile markup: deeply nested tables or lists, or one huge word, keep it
// busy for minutes or overflow the stack. So before a page reaches a view
// (or a cache) it is reduced to the little a short page of news needs:
//   - elements p, h1-h4, ul, ol, li, a, b, strong, i, em, u, small, span and
//     br; containers such as div and table become line breaks, cells spaces;
//     script, style and similar elements are dropped with their content,
//     every other tag is dropped and its text kept;
//   - attributes: href on a (http and https addresses only), align on p and
//     h1-h4; nothing else;
//   - nesting of at most MaxDepth elements, lists at most MaxListDepth deep;
//   - a break opportunity in every run of MaxWordChars characters;
//   - at most MaxInputBytes read and MaxOutputChars written.
// The result is always well formed (text escaped, every element closed) and
// empty when the page shows no text.
namespace HtmlReducer {

constexpr int MaxInputBytes = 1024 * 1024;
constexpr int MaxOutputChars = 32 * 1024;
constexpr int MaxDepth = 5;
constexpr int MaxListDepth = 2;
constexpr int MaxWordChars = 40;
constexpr int MaxUrlChars = 2048;

QString reduce(const QByteArray &html);

} // namespace HtmlReducer
