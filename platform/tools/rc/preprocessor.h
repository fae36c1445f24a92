// The resource script preprocessor: #include, #define, conditionals and
// #pragma code_page, producing the script's tokens with macros expanded.
#ifndef WIN32_RC_PREPROCESSOR_H
#define WIN32_RC_PREPROCESSOR_H

#include "compiler.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace rc {

enum class TokenKind { Identifier, Number, String, Punctuator, End };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;     // identifier, punctuator, or a string's raw characters between the quotes
    uint32_t value = 0;   // number
    bool isLong = false;  // number with an L suffix (a 32-bit datum in raw data)
    bool wide = false;    // L"..." string
    unsigned codePage = 1252;
    std::shared_ptr<const std::string> file;
    int line = 0;

    bool Is(TokenKind k, const char* t) const { return kind == k && text == t; }
    bool IsPunct(const char* t) const { return Is(TokenKind::Punctuator, t); }
    bool IsKeyword(const char* upper) const;  // identifier, compared without case
};

[[noreturn]] void Fail(const Token& at, const std::string& message);

// A read position in a token list; the list always ends with an End token.
class Cursor {
  public:
    explicit Cursor(const std::vector<Token>& tokens) : tokens_(tokens) {}
    const Token& Peek(size_t ahead = 0) const {
        size_t i = pos_ + ahead;
        return i < tokens_.size() ? tokens_[i] : tokens_.back();
    }
    const Token& Next() {
        const Token& t = Peek();
        if (pos_ < tokens_.size() - 1) ++pos_;
        return t;
    }
    bool AtEnd() const { return Peek().kind == TokenKind::End; }
    bool TakePunct(const char* p) {
        if (!Peek().IsPunct(p)) return false;
        Next();
        return true;
    }

  private:
    const std::vector<Token>& tokens_;
    size_t pos_ = 0;
};

// Constant expressions of C; stops before a token that cannot continue one.
int64_t Evaluate(Cursor& cursor);
bool StartsExpression(const Token& t);
// One operand of a '|' list (a style), stopping before '|'.
int64_t EvaluateStyleTerm(Cursor& cursor);

class Preprocessor {
  public:
    explicit Preprocessor(const Options& options) : options_(options) {}
    std::vector<Token> Run(const std::string& path);

  private:
    struct Conditional {
        bool active;     // this branch is being compiled
        bool taken;      // some branch of this #if has been compiled
        bool outerActive;
        bool seenElse;
    };
    void ProcessFile(const std::string& path, bool directivesOnly, int depth);
    void Directive(const std::string& text, const std::shared_ptr<const std::string>& file, int line,
                   unsigned& codePage, bool directivesOnly, int depth, const std::string& path);
    std::vector<Token> Tokenize(const std::string& text, const std::shared_ptr<const std::string>& file, int line,
                                unsigned codePage, bool forIf = false) const;
    void Expand(const std::vector<Token>& in, std::vector<Token>& out, std::set<std::string>& active, int depth) const;
    bool Active() const { return conditionals_.empty() || conditionals_.back().active; }
    void DefineBuiltins(const std::string& header);

    const Options& options_;
    std::map<std::string, std::vector<Token>> macros_;
    std::set<std::string> functionMacros_;
    std::vector<Conditional> conditionals_;
    std::vector<Token> output_;
    std::set<std::string> builtinsLoaded_;
};

}  // namespace rc

#endif
