#include "journal/Scope.h"

#include "schema/Schema.h"

// Conditions stored as text by the journal's first schema, read back into
// typed scopes. Only the forms the commands wrote are understood; anything
// else (a function, a subquery other than the catalogue's, a comment, a
// second statement) makes the whole condition unreadable.
namespace tessera::journal {

namespace {

struct Token {
    enum class Kind { Name, Number, Text, AccessDate, Operator, Open, Close, Comma, End };
    Kind kind = Kind::End;
    QString text;
};

std::optional<std::vector<Token>> tokens(const QString& s)
{
    using K = Token::Kind;
    std::vector<Token> out;
    qsizetype i = 0;
    while (i < s.size()) {
        const QChar c = s[i];
        if (c.isSpace()) {
            ++i;
        } else if (c.isLetter() || c == u'_') {
            qsizetype j = i;
            while (j < s.size() && (s[j].isLetterOrNumber() || s[j] == u'_'))
                ++j;
            out.push_back({K::Name, s.mid(i, j - i)});
            i = j;
        } else if (c.isDigit() || (c == u'-' && i + 1 < s.size() && s[i + 1].isDigit())) {
            qsizetype j = i + 1;
            while (j < s.size() && s[j].isDigit())
                ++j;
            out.push_back({K::Number, s.mid(i, j - i)});
            i = j;
        } else if (c == u'\'') {
            QString text;
            qsizetype j = i + 1;
            for (;; ++j) {
                if (j >= s.size())
                    return std::nullopt;
                if (s[j] == u'\'') {
                    if (j + 1 < s.size() && s[j + 1] == u'\'') {
                        text += u'\'';
                        ++j;
                        continue;
                    }
                    break;
                }
                text += s[j];
            }
            out.push_back({K::Text, text});
            i = j + 1;
        } else if (c == u'#') {
            const qsizetype close = s.indexOf(u'#', i + 1);
            if (close < 0)
                return std::nullopt;
            out.push_back({K::AccessDate, s.mid(i + 1, close - i - 1)});
            i = close + 1;
        } else if (c == u'>' || c == u'<' || c == u'=') {
            const bool twoChars = c != u'=' && i + 1 < s.size() && s[i + 1] == u'=';
            out.push_back({K::Operator, s.mid(i, twoChars ? 2 : 1)});
            i += twoChars ? 2 : 1;
        } else if (c == u'(' || c == u')' || c == u',') {
            out.push_back({c == u'(' ? K::Open : c == u')' ? K::Close : K::Comma, QString(c)});
            ++i;
        } else {
            return std::nullopt;
        }
    }
    out.push_back({K::End, QString()});
    return out;
}

// A condition as a tree: a term, or AND / OR of parts.
struct Node {
    enum class Kind { Term, And, Or };
    Kind kind = Kind::Term;
    ScopeTerm term;
    std::vector<Node> parts;
};

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : m_tokens(std::move(tokens)) {}

    std::optional<Node> condition()
    {
        auto node = either();
        if (!node || peek().kind != Token::Kind::End)
            return std::nullopt;
        return node;
    }

private:
    using K = Token::Kind;

    const Token& peek() const { return m_tokens[m_at]; }
    const Token& take() { return m_tokens[m_at < m_tokens.size() - 1 ? m_at++ : m_at]; }
    bool takeWord(const char* word)
    {
        if (peek().kind != K::Name || peek().text.compare(QLatin1String(word), Qt::CaseInsensitive) != 0)
            return false;
        ++m_at;
        return true;
    }
    bool takeKind(K kind)
    {
        if (peek().kind != kind)
            return false;
        ++m_at;
        return true;
    }

    std::optional<Node> joinedBy(const char* word, Node::Kind kind, std::optional<Node> (Parser::*part)())
    {
        auto first = (this->*part)();
        if (!first || !(peek().kind == K::Name && peek().text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0))
            return first;
        Node node{kind, {}, {std::move(*first)}};
        while (takeWord(word)) {
            auto next = (this->*part)();
            if (!next)
                return std::nullopt;
            node.parts.push_back(std::move(*next));
        }
        return node;
    }
    std::optional<Node> either() { return joinedBy("OR", Node::Kind::Or, &Parser::both); }
    std::optional<Node> both() { return joinedBy("AND", Node::Kind::And, &Parser::primary); }

    std::optional<Node> primary()
    {
        if (takeKind(K::Open)) {
            auto inner = either();
            if (!inner || !takeKind(K::Close))
                return std::nullopt;
            return inner;
        }
        return comparison();
    }

    std::optional<Node> comparison()
    {
        if (peek().kind != K::Name)
            return std::nullopt;
        Node node;
        node.term.column = take().text;
        if (takeWord("IN")) {
            if (!list(node))
                return std::nullopt;
            return node;
        }
        static const QStringList operators{QStringLiteral("="), QStringLiteral(">="), QStringLiteral("<"),
                                           QStringLiteral("<=")};
        const qsizetype op = peek().kind == K::Operator ? operators.indexOf(peek().text) : -1;
        if (op < 0)
            return std::nullopt;
        ++m_at;
        node.term.comparison = Comparison(op);
        auto v = value();
        if (!v)
            return std::nullopt;
        node.term.values.push_back(std::move(*v));
        return node;
    }

    // IN(v1, v2, ...) or IN(SELECT TagID FROM EqpTagInfo WHERE [StationName='s' AND] TagType='遥测')
    bool list(Node& node)
    {
        if (!takeKind(K::Open))
            return false;
        if (takeWord("SELECT")) {
            node.term.comparison = Comparison::InTelemetryCatalogue;
            if (!takeWord("TagID") || !takeWord("FROM") || !takeWord("EqpTagInfo") || !takeWord("WHERE"))
                return false;
            if (takeWord("StationName")) {
                if (take().text != QLatin1String("=") || peek().kind != K::Text)
                    return false;
                node.term.values.emplace_back(take().text);
                if (!takeWord("AND"))
                    return false;
            }
            return takeWord("TagType") && take().text == QLatin1String("=") && peek().kind == K::Text
                && take().text == kTagTypeTelemetry && takeKind(K::Close);
        }
        node.term.comparison = Comparison::AnyOf;
        do {
            auto v = value();
            if (!v)
                return false;
            node.term.values.push_back(std::move(*v));
        } while (takeKind(K::Comma));
        return takeKind(K::Close);
    }

    std::optional<Value> value()
    {
        const Token t = take();
        switch (t.kind) {
        case K::Number: {
            bool ok = false;
            const qint64 n = t.text.toLongLong(&ok);
            return ok ? std::optional<Value>(n) : std::nullopt;
        }
        case K::Text:
            return Value(t.text);
        case K::AccessDate:
            return Value(DateTimeText{t.text});
        case K::Name:
            // TO_DATE('text', 'format'): Oracle's literal.
            if (t.text.compare(QLatin1String("TO_DATE"), Qt::CaseInsensitive) == 0 && takeKind(K::Open)
                && peek().kind == K::Text) {
                const QString text = take().text;
                if (takeKind(K::Comma) && takeKind(K::Text) && takeKind(K::Close))
                    return Value(DateTimeText{text});
            }
            return std::nullopt;
        default:
            return std::nullopt;
        }
    }

    std::vector<Token> m_tokens;
    size_t m_at = 0;
};

constexpr size_t kMostClauses = 1000000;

// The tree as clauses (OR of ANDs). An OR of equalities of one column is one
// AnyOf term, as the switch's tag list was written.
std::optional<std::vector<ScopeClause>> clausesOf(const Node& node)
{
    switch (node.kind) {
    case Node::Kind::Term:
        return std::vector<ScopeClause>{{{node.term}}};
    case Node::Kind::Or: {
        const bool oneColumnList = std::all_of(node.parts.begin(), node.parts.end(), [&](const Node& p) {
            return p.kind == Node::Kind::Term && p.term.comparison == Comparison::Equal
                && p.term.column.compare(node.parts[0].term.column, Qt::CaseInsensitive) == 0;
        });
        if (oneColumnList && node.parts.size() > 1 && node.parts[0].kind == Node::Kind::Term) {
            ScopeTerm list{node.parts[0].term.column, Comparison::AnyOf, {}};
            for (const Node& p : node.parts)
                list.values.push_back(p.term.values[0]);
            return std::vector<ScopeClause>{{{std::move(list)}}};
        }
        std::vector<ScopeClause> all;
        for (const Node& p : node.parts) {
            auto part = clausesOf(p);
            if (!part || all.size() + part->size() > kMostClauses)
                return std::nullopt;
            all.insert(all.end(), part->begin(), part->end());
        }
        return all;
    }
    case Node::Kind::And: {
        std::vector<ScopeClause> product{{}};
        for (const Node& p : node.parts) {
            auto part = clausesOf(p);
            if (!part || product.size() * part->size() > kMostClauses)
                return std::nullopt;
            std::vector<ScopeClause> next;
            for (const ScopeClause& left : product)
                for (const ScopeClause& right : *part) {
                    ScopeClause both = left;
                    both.terms.insert(both.terms.end(), right.terms.begin(), right.terms.end());
                    next.push_back(std::move(both));
                }
            product = std::move(next);
        }
        return product;
    }
    }
    return std::nullopt;
}

} // namespace

std::optional<UnitScope> parseStoredCondition(const QString& table, const QString& condition)
{
    UnitScope scope{table, {}};
    if (condition.trimmed().isEmpty()) {
        scope.clauses.push_back({});
    } else {
        auto list = tokens(condition);
        if (!list)
            return std::nullopt;
        const auto tree = Parser(std::move(*list)).condition();
        auto clauses = tree ? clausesOf(*tree) : std::nullopt;
        if (!clauses)
            return std::nullopt;
        scope.clauses = std::move(*clauses);
    }
    if (!scopeProblem(scope).isEmpty())
        return std::nullopt;
    return scope;
}

} // namespace tessera::journal
