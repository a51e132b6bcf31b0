#include "db/sql_translator.h"

#include <algorithm>

namespace orvelo::sql {

namespace {

enum class TokenKind { Blank, Comment, Literal, QuotedName, Word, Parameter, Symbol };

struct Token {
    TokenKind kind;
    qsizetype begin;
    qsizetype end;  // one past the last character
};

bool isNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'@' || c == u'#' || c == u'$';
}

bool isParameterChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

// A small lexer, just enough to know what stands outside quotes and comments, and where the
// words and parentheses are. An unterminated literal or comment runs to the end of the text.
std::vector<Token> tokenize(const QString& text) {
    std::vector<Token> tokens;
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto closeAt = [&](qsizetype from, QChar quote) {
        qsizetype j = from;
        while (j < n) {
            if (text[j] == quote) {
                // A doubled quote stands for itself inside the literal.
                if (j + 1 < n && text[j + 1] == quote) {
                    j += 2;
                    continue;
                }
                return j + 1;
            }
            ++j;
        }
        return n;
    };
    while (i < n) {
        const QChar c = text[i];
        const qsizetype start = i;
        if (c.isSpace()) {
            while (i < n && text[i].isSpace()) ++i;
            tokens.push_back({TokenKind::Blank, start, i});
        } else if (c == u'-' && i + 1 < n && text[i + 1] == u'-') {
            while (i < n && text[i] != u'\n') ++i;
            tokens.push_back({TokenKind::Comment, start, i});
        } else if (c == u'/' && i + 1 < n && text[i + 1] == u'*') {
            const qsizetype close = text.indexOf(u"*/", i + 2);
            i = close < 0 ? n : close + 2;
            tokens.push_back({TokenKind::Comment, start, i});
        } else if (c == u'\'') {
            i = closeAt(i + 1, u'\'');
            tokens.push_back({TokenKind::Literal, start, i});
        } else if (c == u'"') {
            i = closeAt(i + 1, u'"');
            tokens.push_back({TokenKind::QuotedName, start, i});
        } else if (c == u'[') {
            i = closeAt(i + 1, u']');
            tokens.push_back({TokenKind::QuotedName, start, i});
        } else if (c == u':' && i + 1 < n && isParameterChar(text[i + 1]) &&
                   (i == 0 || text[i - 1] != u':')) {
            ++i;
            while (i < n && isParameterChar(text[i])) ++i;
            tokens.push_back({TokenKind::Parameter, start, i});
        } else if (isNameChar(c)) {
            while (i < n && isNameChar(text[i])) ++i;
            tokens.push_back({TokenKind::Word, start, i});
        } else if (c == u':' && i + 1 < n && text[i + 1] == u':') {
            i += 2;
            tokens.push_back({TokenKind::Symbol, start, i});
        } else {
            ++i;
            tokens.push_back({TokenKind::Symbol, start, i});
        }
    }
    return tokens;
}

bool isSignificant(const Token& t) {
    return t.kind != TokenKind::Blank && t.kind != TokenKind::Comment;
}

QStringView tokenText(const QString& text, const Token& t) {
    return QStringView(text).mid(t.begin, t.end - t.begin);
}

bool isWord(const QString& text, const Token& t, QStringView word) {
    return t.kind == TokenKind::Word && tokenText(text, t).compare(word, Qt::CaseInsensitive) == 0;
}

bool isSymbol(const QString& text, const Token& t, QChar symbol) {
    return t.kind == TokenKind::Symbol && t.end - t.begin == 1 && text[t.begin] == symbol;
}

bool isStatementStart(const QString& text, const Token& t) {
    static const QStringView starters[] = {u"select", u"insert", u"update", u"delete", u"if"};
    if (t.kind != TokenKind::Word) return false;
    for (QStringView s : starters) {
        if (isWord(text, t, s)) return true;
    }
    return false;
}

// The ranges [begin, end) of the statements of a batch, before trimming.
struct Range {
    qsizetype begin;
    qsizetype end;
};

// With semicolonsOnly, only a top-level ';' ends a statement (scripts with DDL).
std::vector<Range> statementRanges(const QString& text, const std::vector<Token>& tokens,
                                   bool semicolonsOnly) {
    std::vector<Range> ranges;
    qsizetype begin = 0;
    int depth = 0;
    // What the statement under way has shown so far at its top level.
    const Token* first = nullptr;
    const Token* previous = nullptr;
    bool ifBodySeen = false;
    bool valuesSeen = false;
    auto startNew = [&](qsizetype at) {
        ranges.push_back({begin, at});
        begin = at;
        first = nullptr;
        previous = nullptr;
        ifBodySeen = false;
        valuesSeen = false;
    };
    for (const Token& t : tokens) {
        if (!isSignificant(t)) continue;
        if (isSymbol(text, t, u'(')) {
            ++depth;
        } else if (isSymbol(text, t, u')')) {
            if (depth > 0) --depth;
        } else if (depth == 0 && isSymbol(text, t, u';')) {
            startNew(t.begin);
            begin = t.end;
            continue;
        } else if (depth == 0 && !semicolonsOnly && isStatementStart(text, t)) {
            if (!first) {
                first = &t;
            } else {
                bool split = true;
                if (isWord(text, *first, u"if") && !ifBodySeen) {
                    ifBodySeen = true;  // the statement the IF guards
                    split = false;
                } else if (isWord(text, t, u"select") && previous &&
                           (isWord(text, *previous, u"union") || isWord(text, *previous, u"all") ||
                            isWord(text, *previous, u"except") || isWord(text, *previous, u"intersect"))) {
                    split = false;
                } else if (isWord(text, t, u"select") && isWord(text, *first, u"insert") && !valuesSeen) {
                    split = false;  // INSERT ... SELECT
                }
                if (split) {
                    startNew(t.begin);
                    first = &t;
                }
            }
        } else if (depth == 0 && isWord(text, t, u"values")) {
            valuesSeen = true;
        }
        if (!first && depth == 0) first = &t;
        previous = &t;
    }
    ranges.push_back({begin, text.size()});
    return ranges;
}

QString blankTrimmed(QStringView text) {
    return text.trimmed().toString();
}

// `insert TABLE (...)` is T-SQL for `insert into TABLE (...)`.
QString withInsertInto(const QString& statement) {
    const auto tokens = tokenize(statement);
    const Token* insert = nullptr;
    for (const Token& t : tokens) {
        if (!isSignificant(t)) continue;
        if (!insert) {
            if (!isWord(statement, t, u"insert")) return statement;
            insert = &t;
            continue;
        }
        if (isWord(statement, t, u"into")) return statement;
        return statement.left(insert->end) + u" into" + statement.mid(insert->end);
    }
    return statement;
}

bool takesValue(const QString& text, const Token& previous) {
    if (previous.kind == TokenKind::Symbol)
        return isSymbol(text, previous, u'=') || isSymbol(text, previous, u'<') ||
               isSymbol(text, previous, u'>') || isSymbol(text, previous, u'(') ||
               isSymbol(text, previous, u',');
    return isWord(text, previous, u"like");
}

}  // namespace

PositionalText toPositional(const QString& text) {
    PositionalText result;
    const auto tokens = tokenize(text);
    result.text.reserve(text.size());
    for (const Token& t : tokens) {
        if (t.kind == TokenKind::Parameter) {
            result.text += u'?';
            result.parameters.append(text.mid(t.begin + 1, t.end - t.begin - 1));
        } else {
            result.text += tokenText(text, t);
        }
    }
    return result;
}

QStringList parameterNames(const QString& text) {
    QStringList names;
    for (const QString& name : toPositional(text).parameters) {
        bool known = false;
        for (const QString& n : names) known = known || n.compare(name, Qt::CaseInsensitive) == 0;
        if (!known) names.append(name);
    }
    return names;
}

namespace {

QStringList splitStatements(const QString& batch, bool semicolonsOnly) {
    QStringList statements;
    const auto tokens = tokenize(batch);
    for (const Range& r : statementRanges(batch, tokens, semicolonsOnly)) {
        const QString piece = blankTrimmed(QStringView(batch).mid(r.begin, r.end - r.begin));
        // A piece of only comments is no statement.
        const auto pieceTokens = tokenize(piece);
        if (std::any_of(pieceTokens.begin(), pieceTokens.end(), isSignificant)) statements.append(piece);
    }
    return statements;
}

}  // namespace

QStringList splitBatch(const QString& batch) {
    return splitStatements(batch, false);
}

std::vector<TranslatedStatement> translateForSqlite(const QString& batch) {
    std::vector<TranslatedStatement> steps;
    for (const QString& statement : splitBatch(batch)) {
        const auto tokens = tokenize(statement);
        auto firstSignificant = std::find_if(tokens.begin(), tokens.end(), isSignificant);
        if (firstSignificant != tokens.end() && isWord(statement, *firstSignificant, u"if")) {
            // The guarded statement begins at the first top-level statement word after IF.
            int depth = 0;
            qsizetype bodyBegin = -1;
            for (auto it = firstSignificant + 1; it != tokens.end(); ++it) {
                if (!isSignificant(*it)) continue;
                if (isSymbol(statement, *it, u'('))
                    ++depth;
                else if (isSymbol(statement, *it, u')'))
                    depth = std::max(0, depth - 1);
                else if (depth == 0 && isStatementStart(statement, *it)) {
                    bodyBegin = it->begin;
                    break;
                }
            }
            if (bodyBegin > 0) {
                const QString condition = blankTrimmed(
                    QStringView(statement).mid(firstSignificant->end, bodyBegin - firstSignificant->end));
                const QString body = blankTrimmed(QStringView(statement).mid(bodyBegin));
                steps.push_back(
                    {u"SELECT CASE WHEN " + condition + u" THEN 1 ELSE 0 END", withInsertInto(body)});
                continue;
            }
        }
        steps.push_back({QString(), withInsertInto(statement)});
    }
    return steps;
}

namespace {

// T-SQL's functions under PostgreSQL's names, and its TOP as a LIMIT: word by word, outside literals,
// quoted names and comments.
QString withPostgresqlWords(const QString& statement) {
    const auto tokens = tokenize(statement);
    QString out;
    out.reserve(statement.size() + 16);
    QString limit;
    const Token* first = nullptr;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        // The next significant token after i, or null.
        const auto next = [&](std::size_t from) -> const Token* {
            for (std::size_t j = from + 1; j < tokens.size(); ++j)
                if (isSignificant(tokens[j])) return &tokens[j];
            return nullptr;
        };
        if (isSignificant(t) && !first) {
            first = &t;
        } else if (first && limit.isEmpty() && isWord(statement, t, u"top") &&
                   isWord(statement, *first, u"select") && next(std::size_t(first - tokens.data())) == &t) {
            // select top N: N is a number of rows, which PostgreSQL takes at the end.
            const Token* count = next(i);
            if (count && count->kind == TokenKind::Word) {
                const QStringView n = tokenText(statement, *count);
                if (!n.isEmpty() && std::all_of(n.begin(), n.end(), [](QChar c) { return c.isDigit(); })) {
                    limit = n.toString();
                    while (&tokens[i] != count) ++i;
                    continue;
                }
            }
        }
        if (isWord(statement, t, u"isnull")) {
            const Token* open = next(i);
            if (open && isSymbol(statement, *open, u'(')) {
                out += u"coalesce";
                continue;
            }
        }
        if (isWord(statement, t, u"getdate")) {
            const Token* open = next(i);
            const Token* close = open ? next(std::size_t(open - tokens.data())) : nullptr;
            if (open && close && isSymbol(statement, *open, u'(') && isSymbol(statement, *close, u')')) {
                out += u"localtimestamp(3)";
                while (&tokens[i] != close) ++i;
                continue;
            }
        }
        out += tokenText(statement, t);
    }
    if (!limit.isEmpty()) {
        // The statement's own end: a top-level UNION would need the limit inside its first part,
        // which no statement of ours has.
        out = blankTrimmed(out) + u" LIMIT " + limit;
    }
    return out;
}

}  // namespace

std::vector<TranslatedStatement> translateForPostgresql(const QString& batch) {
    std::vector<TranslatedStatement> steps = translateForSqlite(batch);
    for (TranslatedStatement& step : steps) {
        if (!step.condition.isEmpty()) step.condition = withPostgresqlWords(step.condition);
        step.statement = withPostgresqlWords(step.statement);
    }
    return steps;
}

QStringList splitScript(const QString& script) {
    return splitStatements(script, true);
}

std::optional<CacheableText> toCacheable(const QString& text) {
    const auto tokens = tokenize(text);
    static const QStringView dml[] = {u"select", u"insert", u"update", u"delete"};
    const auto firstWord = std::find_if(tokens.begin(), tokens.end(), isSignificant);
    if (firstWord == tokens.end() || std::none_of(std::begin(dml), std::end(dml),
                                                  [&](QStringView w) { return isWord(text, *firstWord, w); }))
        return std::nullopt;
    CacheableText out;
    out.text.reserve(text.size());
    const Token* previous = nullptr;
    for (const Token& t : tokens) {
        const QStringView piece = tokenText(text, t);
        if (t.kind == TokenKind::Parameter) {
            out.text += u'?';
            out.binds.push_back({true, piece.mid(1).toString(), {}});
        } else if (t.kind == TokenKind::Literal && previous && takesValue(text, *previous) &&
                   piece.size() >= 2 && piece.endsWith(u'\'')) {
            out.text += u'?';
            out.binds.push_back({false,
                                 {},
                                 piece.mid(1, piece.size() - 2)
                                     .toString()
                                     .replace(QStringLiteral("''"), QStringLiteral("'"))});
        } else {
            out.text += piece;
        }
        if (isSignificant(t)) previous = &t;
    }
    return out;
}

std::size_t countMarks(const QString& text) {
    std::size_t n = 0;
    for (const Token& t : tokenize(text))
        if (isSymbol(text, t, u'?')) ++n;
    return n;
}

}  // namespace orvelo::sql
