// Constant expressions in #if lines and in resource statements.
#include "preprocessor.h"

namespace rc {
namespace {

int64_t Conditional(Cursor& c);

int64_t Primary(Cursor& c) {
    const Token& t = c.Next();
    if (t.kind == TokenKind::Number) return t.value;
    if (t.IsPunct("(")) {
        int64_t v = Conditional(c);
        if (!c.TakePunct(")")) Fail(c.Peek(), "expected ')'");
        return v;
    }
    if (t.IsPunct("-")) return -Primary(c);
    if (t.IsPunct("+")) return Primary(c);
    if (t.IsPunct("~")) return ~Primary(c) & 0xFFFFFFFF;
    if (t.IsPunct("!")) return !Primary(c);
    if (t.kind == TokenKind::Identifier) Fail(t, "'" + t.text + "' is not defined as a number");
    Fail(t, t.kind == TokenKind::End ? "expected a number before the end" : "expected a number, found '" + t.text + "'");
}

struct Level {
    const char* ops[4];
};
// From the loosest binding to the tightest, below ?:.
constexpr Level kLevels[] = {
    {{"||"}}, {{"&&"}}, {{"|"}}, {{"^"}}, {{"&"}}, {{"==", "!="}}, {{"<", ">", "<=", ">="}},
    {{"<<", ">>"}}, {{"+", "-"}}, {{"*", "/", "%"}},
};

int64_t Apply(const Token& op, int64_t a, int64_t b) {
    const std::string& o = op.text;
    if (o == "||") return a || b;
    if (o == "&&") return a && b;
    if (o == "|") return a | b;
    if (o == "^") return a ^ b;
    if (o == "&") return a & b;
    if (o == "==") return a == b;
    if (o == "!=") return a != b;
    if (o == "<") return a < b;
    if (o == ">") return a > b;
    if (o == "<=") return a <= b;
    if (o == ">=") return a >= b;
    if (o == "<<") return b < 0 || b > 63 ? 0 : static_cast<int64_t>(static_cast<uint64_t>(a) << b);
    if (o == ">>") return b < 0 || b > 63 ? 0 : a >> b;
    if (o == "+") return a + b;
    if (o == "-") return a - b;
    if (o == "*") return a * b;
    if (b == 0) Fail(op, "division by zero");
    return o == "/" ? a / b : a % b;
}

int64_t Binary(Cursor& c, size_t level) {
    if (level == std::size(kLevels)) return Primary(c);
    int64_t value = Binary(c, level + 1);
    for (;;) {
        const Token& op = c.Peek();
        bool match = false;
        for (const char* o : kLevels[level].ops)
            if (o && op.IsPunct(o)) match = true;
        if (!match) return value;
        c.Next();
        // Wrap to 32 bits as the resource compiler computes, keeping the sign for comparisons.
        value = static_cast<int32_t>(static_cast<uint32_t>(Apply(op, value, Binary(c, level + 1))));
    }
}

int64_t Conditional(Cursor& c) {
    int64_t test = Binary(c, 0);
    if (!c.TakePunct("?")) return test;
    int64_t yes = Conditional(c);
    if (!c.TakePunct(":")) Fail(c.Peek(), "expected ':'");
    int64_t no = Conditional(c);
    return test ? yes : no;
}

}  // namespace

bool StartsExpression(const Token& t) {
    return t.kind == TokenKind::Number || t.IsPunct("(") || t.IsPunct("-") || t.IsPunct("+") || t.IsPunct("~") ||
           t.IsPunct("!");
}

int64_t Evaluate(Cursor& cursor) { return Conditional(cursor); }

// Binds tighter than '|': the operands of a style list.
int64_t EvaluateStyleTerm(Cursor& cursor) { return Binary(cursor, 3); }

}  // namespace rc
