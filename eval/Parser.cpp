#include "Parser.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <unordered_map>
#include <utility>

#include "Lexer.h"
#include "ScriptError.h"

namespace eval {
namespace {

// What the documented memory budget per node rests on.
static_assert(sizeof(void*) != 8 || sizeof(Expr) <= 88, "a syntax-tree node outgrew its budget");

// Binding strength of the binary operators, tightest highest. Unary minus sits
// between * and ^ (so -2^2 is -(2^2)), Not between And and the comparisons.
constexpr int kPrecImp = 1;
constexpr int kPrecEqv = 2;
constexpr int kPrecXor = 3;
constexpr int kPrecOr = 4;
constexpr int kPrecAnd = 5;
constexpr int kPrecNotOperand = 7;  // Not takes a comparison and everything tighter
constexpr int kPrecCompare = 7;
constexpr int kPrecConcat = 8;
constexpr int kPrecAdd = 9;
constexpr int kPrecMod = 10;
constexpr int kPrecIntDivide = 11;
constexpr int kPrecMultiply = 12;
constexpr int kPrecSignOperand = 14;  // a sign takes a power and everything tighter
constexpr int kPrecPower = 14;

struct BinaryInfo {
  Op op = Op::None;
  int precedence = 0;
};

BinaryInfo BinaryOf(const Token& token) {
  switch (token.kind) {
    case TokenKind::Caret:
      return {Op::Power, kPrecPower};
    case TokenKind::Star:
      return {Op::Multiply, kPrecMultiply};
    case TokenKind::Slash:
      return {Op::Divide, kPrecMultiply};
    case TokenKind::Backslash:
      return {Op::IntDivide, kPrecIntDivide};
    case TokenKind::Plus:
      return {Op::Add, kPrecAdd};
    case TokenKind::Minus:
      return {Op::Subtract, kPrecAdd};
    case TokenKind::Ampersand:
      return {Op::Concat, kPrecConcat};
    case TokenKind::Equal:
      return {Op::Equal, kPrecCompare};
    case TokenKind::NotEqual:
      return {Op::NotEqual, kPrecCompare};
    case TokenKind::Less:
      return {Op::Less, kPrecCompare};
    case TokenKind::Greater:
      return {Op::Greater, kPrecCompare};
    case TokenKind::LessEqual:
      return {Op::LessEqual, kPrecCompare};
    case TokenKind::GreaterEqual:
      return {Op::GreaterEqual, kPrecCompare};
    case TokenKind::Identifier:
      switch (token.keyword) {
        case Keyword::Mod:
          return {Op::Mod, kPrecMod};
        case Keyword::And:
          return {Op::And, kPrecAnd};
        case Keyword::Or:
          return {Op::Or, kPrecOr};
        case Keyword::Xor:
          return {Op::Xor, kPrecXor};
        case Keyword::Eqv:
          return {Op::Eqv, kPrecEqv};
        case Keyword::Imp:
          return {Op::Imp, kPrecImp};
        default:
          return {};
      }
    default:
      return {};
  }
}

bool IsStatementEnd(const Token& token) {
  return token.kind == TokenKind::Newline || token.kind == TokenKind::End;
}

bool IsPlainName(const Token& token) {
  return token.kind == TokenKind::Identifier && token.keyword == Keyword::None;
}

std::uint32_t Position(std::size_t position) {
  return static_cast<std::uint32_t>(
      std::min<std::size_t>(position, std::numeric_limits<std::uint32_t>::max()));
}

class Parser {
 public:
  Parser(std::string_view code, std::size_t maxNodes)
      : lexer_(code), program_(std::make_shared<Program>()), maxNodes_(maxNodes) {
    Advance();
  }

  // code := { statement-or-function (Newline | End) }
  std::shared_ptr<Program> Code() {
    while (true) {
      SkipNewlines();
      if (tok_.kind == TokenKind::End) break;
      if (StartsFunction()) {
        ParseFunction();
      } else {
        if (const Stmt* stmt = ParseStatement()) program_->topLevel.push_back(stmt);
      }
      ExpectStatementEnd();
    }
    program_->nodeCount = nodes_;
    return std::move(program_);
  }

  // expression-text := expression { Newline } End
  std::shared_ptr<Program> Expression() {
    program_->expression = ParseExpr(0);
    SkipNewlines();
    if (tok_.kind != TokenKind::End) Fail(ErrorNumber::ExpectedEndOfStatement);
    program_->nodeCount = nodes_;
    return std::move(program_);
  }

 private:
  // A function body's names: slot 0 is the result, then parameters, Dim'd
  // names and (last) names that are only assigned, which become locals when
  // no global of that name exists.
  struct FunctionScope {
    FunctionDef* def = nullptr;
    std::unordered_map<std::string, std::uint32_t> slots;
    std::vector<Expr*> nameUses;    // Name, Call and Member expressions of the body
    std::vector<Stmt*> assignments; // Assign statements of the body
  };

  [[noreturn]] void Fail(ErrorNumber number) { throw ScriptError(number, tok_.position); }

  void Advance() {
    if (peeked_) {
      tok_ = std::move(*peeked_);
      peeked_.reset();
    } else {
      tok_ = lexer_.Next();
    }
  }

  const Token& Peek() {
    if (!peeked_) peeked_ = lexer_.Next();
    return *peeked_;
  }

  void SkipNewlines() {
    while (tok_.kind == TokenKind::Newline) Advance();
  }

  void ExpectStatementEnd() {
    if (!IsStatementEnd(tok_)) Fail(ErrorNumber::ExpectedEndOfStatement);
  }

  bool StartsFunction() {
    if (tok_.kind != TokenKind::Identifier) return false;
    if (tok_.keyword == Keyword::Function) return true;
    if (tok_.keyword == Keyword::Public || tok_.keyword == Keyword::Private) {
      const Token& next = Peek();
      return next.kind == TokenKind::Identifier && next.keyword == Keyword::Function;
    }
    return false;
  }

  // Every expression, statement and name the tree gets counts towards
  // kMaxTreeNodes (a literal's value belongs to its expression).
  void CountNode() {
    if (++nodes_ > maxNodes_) Fail(ErrorNumber::OutOfMemory);
  }

  const NameRef* MakeName(std::string_view written) {
    CountNode();
    program_->names.push_back(NameRef{std::string(written), FoldName(written)});
    return &program_->names.back();
  }

  const MemberRef* MakeMember(const NameRef* name) {
    program_->members.push_back(MemberRef{name, {}});
    return &program_->members.back();
  }

  Expr* NewExpr(ExprKind kind, std::size_t position) {
    CountNode();
    Expr& e = program_->exprs.emplace_back();
    e.kind = kind;
    e.position = Position(position);
    return &e;
  }

  // A call with one such operand may be a built-in of a number (Sin, Exp, ...).
  static bool IsArithmeticOperand(const Expr& e) {
    if (e.kind == ExprKind::Literal) return e.literal->IsNumeric();
    if (e.kind == ExprKind::Call) return e.argCount == 1 && IsArithmeticOperand(*e.args[0]);
    return e.kind == ExprKind::Name || e.arithmetic;
  }

  static void MarkArithmetic(Expr* e) {
    switch (e->op) {
      case Op::Add:
      case Op::Subtract:
      case Op::Multiply:
      case Op::Divide:
      case Op::Power:
        e->arithmetic = IsArithmeticOperand(*e->left) && IsArithmeticOperand(*e->right);
        break;
      case Op::Negate:
      case Op::Plus:
        e->arithmetic = IsArithmeticOperand(*e->left);
        break;
      default:
        break;
    }
  }

  void SetHeight(Expr* e, std::uint32_t childHeight) {
    e->height = childHeight + 1;
    if (e->height > kMaxTreeHeight) throw ScriptError(ErrorNumber::OutOfStackSpace, e->position);
  }

  // The evaluator walks a chain of binary operators along its left operands
  // without recursing: only the right operand adds a level.
  void SetBinaryHeight(Expr* e) {
    const std::uint32_t right = e->right->height + 1;
    e->height = std::max(e->left->height, right);
    if (e->height > kMaxTreeHeight) throw ScriptError(ErrorNumber::OutOfStackSpace, e->position);
  }

  void NoteNameUse(Expr* e) {
    if (scope_) scope_->nameUses.push_back(e);
  }

  struct DepthGuard {
    explicit DepthGuard(Parser& parser) : parser_(parser) {
      if (++parser_.depth_ > kMaxParseDepth) {
        throw ScriptError(ErrorNumber::OutOfStackSpace, parser_.tok_.position);
      }
    }
    ~DepthGuard() { --parser_.depth_; }
    Parser& parser_;
  };

  // expression(min) := unary { binary-op(prec >= min) expression(prec + 1) }
  const Expr* ParseExpr(int minPrecedence) {
    DepthGuard guard(*this);
    const Expr* left = ParseUnary();
    while (true) {
      const BinaryInfo info = BinaryOf(tok_);
      if (info.op == Op::None || info.precedence < minPrecedence) break;
      const std::size_t position = tok_.position;
      Advance();
      const Expr* right = info.op == Op::Power ? ParsePowerOperand() : ParseExpr(info.precedence + 1);
      Expr* e = NewExpr(ExprKind::Binary, position);
      e->op = info.op;
      e->left = left;
      e->right = right;
      SetBinaryHeight(e);
      MarkArithmetic(e);
      left = e;
    }
    return left;
  }

  // power-operand := ('-' | '+') power-operand | expression(power + 1)
  // A sign after ^ belongs to that operand alone: 2^-3^2 is (2^-3)^2.
  const Expr* ParsePowerOperand() {
    if (tok_.kind != TokenKind::Minus && tok_.kind != TokenKind::Plus) return ParseExpr(kPrecPower + 1);
    DepthGuard guard(*this);
    const std::size_t position = tok_.position;
    const Op op = tok_.kind == TokenKind::Minus ? Op::Negate : Op::Plus;
    Advance();
    return NewUnary(op, position, ParsePowerOperand());
  }

  Expr* NewUnary(Op op, std::size_t position, const Expr* operand) {
    Expr* e = NewExpr(ExprKind::Unary, position);
    e->op = op;
    e->left = operand;
    SetHeight(e, operand->height);
    MarkArithmetic(e);
    return e;
  }

  // unary := ('-' | '+') expression(sign operand) | 'Not' expression(Not operand) | primary
  const Expr* ParseUnary() {
    Op op = Op::None;
    int operandPrecedence = 0;
    if (tok_.kind == TokenKind::Minus) {
      op = Op::Negate;
      operandPrecedence = kPrecSignOperand;
    } else if (tok_.kind == TokenKind::Plus) {
      op = Op::Plus;
      operandPrecedence = kPrecSignOperand;
    } else if (tok_.kind == TokenKind::Identifier && tok_.keyword == Keyword::Not) {
      op = Op::Not;
      operandPrecedence = kPrecNotOperand;
    } else {
      return ParsePrimary();
    }
    const std::size_t position = tok_.position;
    Advance();
    return NewUnary(op, position, ParseExpr(operandPrecedence));
  }

  const Expr* Literal(Value value, std::size_t position) {
    program_->literals.push_back(std::move(value));
    Expr* e = NewExpr(ExprKind::Literal, position);
    e->literal = &program_->literals.back();
    return e;
  }

  // primary := number | text | True | False | Empty | Null | '(' expression ')'
  //          | name [ '.' name ] [ '(' [ expression { ',' expression } ] ')' ]
  const Expr* ParsePrimary() {
    const std::size_t position = tok_.position;
    switch (tok_.kind) {
      case TokenKind::Number: {
        Value v = std::move(tok_.number);
        Advance();
        return Literal(std::move(v), position);
      }
      case TokenKind::Text: {
        Value v = Value::String(std::move(tok_.literal));
        Advance();
        return Literal(std::move(v), position);
      }
      case TokenKind::LParen: {
        Advance();
        const Expr* inner = ParseExpr(0);
        if (tok_.kind != TokenKind::RParen) Fail(ErrorNumber::ExpectedCloseParen);
        Advance();
        const_cast<Expr*>(inner)->parenthesized = true;  // nodes are ours until the Program is returned
        return inner;
      }
      case TokenKind::Identifier:
        break;
      default:
        Fail(ErrorNumber::SyntaxError);
    }
    switch (tok_.keyword) {
      case Keyword::None:
        break;
      case Keyword::True:
        Advance();
        return Literal(Value::Boolean(true), position);
      case Keyword::False:
        Advance();
        return Literal(Value::Boolean(false), position);
      case Keyword::Empty:
        Advance();
        return Literal(Value(), position);
      case Keyword::Null:
        Advance();
        return Literal(Value::Null(), position);
      default:
        Fail(ErrorNumber::SyntaxError);
    }

    const NameRef* name = MakeName(tok_.text);
    Advance();
    Expr* e;
    if (tok_.kind == TokenKind::Dot) {
      Advance();
      if (tok_.kind != TokenKind::Identifier) Fail(ErrorNumber::ExpectedIdentifier);
      e = NewExpr(ExprKind::Member, position);
      e->name = name;
      e->member = MakeMember(MakeName(tok_.text));
      Advance();
      if (tok_.kind == TokenKind::LParen) ParseArguments(e);
    } else if (tok_.kind == TokenKind::LParen) {
      e = NewExpr(ExprKind::Call, position);
      e->name = name;
      ParseArguments(e);
    } else {
      e = NewExpr(ExprKind::Name, position);
      e->name = name;
    }
    NoteNameUse(e);
    return e;
  }

  // arguments := '(' [ expression { ',' expression } ] ')'
  void ParseArguments(Expr* call) {
    DepthGuard guard(*this);
    Advance();  // '('
    auto& args = program_->argLists.emplace_back();
    std::uint32_t height = 0;
    if (tok_.kind != TokenKind::RParen) {
      while (true) {
        const Expr* arg = ParseExpr(0);
        height = std::max(height, arg->height);
        args.push_back(arg);
        if (tok_.kind != TokenKind::Comma) break;
        Advance();
      }
    }
    if (tok_.kind != TokenKind::RParen) Fail(ErrorNumber::ExpectedCloseParen);
    Advance();
    call->args = args.data();
    call->argCount = static_cast<std::uint32_t>(args.size());
    SetHeight(call, height);
  }

  // Arguments of a call statement: none, '(' list ')', or a list without parentheses.
  void ParseStatementArguments(Expr* call) {
    if (IsStatementEnd(tok_)) return;
    if (tok_.kind == TokenKind::LParen) {
      ParseArguments(call);
      return;
    }
    auto& args = program_->argLists.emplace_back();
    std::uint32_t height = 0;
    while (true) {
      const Expr* arg = ParseExpr(0);
      height = std::max(height, arg->height);
      args.push_back(arg);
      if (tok_.kind != TokenKind::Comma) break;
      Advance();
    }
    call->args = args.data();
    call->argCount = static_cast<std::uint32_t>(args.size());
    SetHeight(call, height);
  }

  Stmt* NewStmt(StmtKind kind, std::size_t position) {
    CountNode();
    Stmt& s = program_->stmts.emplace_back();
    s.kind = kind;
    s.position = Position(position);
    return &s;
  }

  // statement := name '=' expression | name '.' name '=' expression
  //            | [Call] name [ '.' name ] [ arguments ] | Dim name { ',' name }
  //            | Exit Function (in a function only)
  // Returns nullptr for a statement with nothing to run.
  const Stmt* ParseStatement() {
    const std::size_t position = tok_.position;
    if (tok_.kind != TokenKind::Identifier) Fail(ErrorNumber::ExpectedStatement);
    switch (tok_.keyword) {
      case Keyword::None:
        return ParseNameStatement(false);
      case Keyword::Call:
        Advance();
        if (!IsPlainName(tok_)) Fail(ErrorNumber::ExpectedIdentifier);
        return ParseNameStatement(true);
      case Keyword::Dim: {
        Advance();
        Stmt* s = NewStmt(StmtKind::Dim, position);
        while (true) {
          if (!IsPlainName(tok_)) Fail(ErrorNumber::ExpectedIdentifier);
          s->names.push_back(MakeName(tok_.text));
          Advance();
          if (tok_.kind != TokenKind::Comma) break;
          Advance();
        }
        if (scope_) {
          for (const NameRef* name : s->names) DeclareLocal(name->folded, false);
          return nullptr;  // locals exist from the call on
        }
        return s;
      }
      case Keyword::Exit:
        if (!scope_) Fail(ErrorNumber::InvalidExitStatement);
        Advance();
        if (tok_.kind != TokenKind::Identifier || tok_.keyword != Keyword::Function) {
          Fail(ErrorNumber::ExpectedFunction);
        }
        Advance();
        return NewStmt(StmtKind::ExitFunction, position);
      case Keyword::Function:
      case Keyword::Public:
      case Keyword::Private:
      case Keyword::End:
      case Keyword::Unsupported:
        // A Function inside a Function, a stray End, or a statement of the
        // full language this engine does not run.
        Fail(ErrorNumber::SyntaxError);
      default:
        Fail(ErrorNumber::ExpectedStatement);
    }
  }

  const Stmt* ParseNameStatement(bool afterCall) {
    const std::size_t position = tok_.position;
    const NameRef* name = MakeName(tok_.text);
    Advance();
    if (tok_.kind == TokenKind::Equal && !afterCall) {
      Advance();
      Stmt* s = NewStmt(StmtKind::Assign, position);
      s->name = name;
      s->value = ParseExpr(0);
      if (scope_) scope_->assignments.push_back(s);
      return s;
    }
    if (tok_.kind == TokenKind::Dot) {
      Advance();
      if (tok_.kind != TokenKind::Identifier) Fail(ErrorNumber::ExpectedIdentifier);
      const NameRef* member = MakeName(tok_.text);
      Advance();
      if (tok_.kind == TokenKind::Equal && !afterCall) {
        Advance();
        Stmt* s = NewStmt(StmtKind::MemberAssign, position);
        s->name = name;
        s->member = member;
        s->value = ParseExpr(0);
        // The object's name may be a local variable: resolved like any name use.
        Expr* target = NewExpr(ExprKind::Member, position);
        target->name = name;
        target->member = MakeMember(member);
        NoteNameUse(target);
        s->target = target;
        return s;
      }
      Expr* e = NewExpr(ExprKind::Member, position);
      e->name = name;
      e->member = MakeMember(member);
      ParseStatementArguments(e);
      NoteNameUse(e);
      Stmt* s = NewStmt(StmtKind::Call, position);
      s->value = e;
      return s;
    }
    Expr* e = NewExpr(ExprKind::Call, position);
    e->name = name;
    ParseStatementArguments(e);
    NoteNameUse(e);
    Stmt* s = NewStmt(StmtKind::Call, position);
    s->value = e;
    return s;
  }

  std::uint32_t DeclareLocal(const std::string& folded, bool implicit) {
    auto [it, inserted] = scope_->slots.try_emplace(folded, scope_->def->localCount);
    if (inserted) {
      ++scope_->def->localCount;
      scope_->def->implicitSlots.push_back(implicit ? 1 : 0);
    }
    return it->second;
  }

  // function := [Public | Private] Function name [ '(' [ param { ',' param } ] ')' ]
  //             Newline { statement Newline } End Function
  // param := [ByVal | ByRef] name
  void ParseFunction() {
    if (tok_.keyword != Keyword::Function) Advance();  // Public / Private
    Advance();
    if (!IsPlainName(tok_)) Fail(ErrorNumber::ExpectedIdentifier);
    FunctionDef& def = program_->functions.emplace_back();
    def.name = MakeName(tok_.text);
    Advance();

    FunctionScope scope;
    scope.def = &def;
    scope_ = &scope;
    scope.slots.emplace(def.name->folded, 0);
    def.implicitSlots.push_back(0);

    if (tok_.kind == TokenKind::LParen) {
      Advance();
      if (tok_.kind != TokenKind::RParen) {
        while (true) {
          Param param;
          if (tok_.kind == TokenKind::Identifier &&
              (tok_.keyword == Keyword::ByVal || tok_.keyword == Keyword::ByRef)) {
            param.byRef = tok_.keyword == Keyword::ByRef;
            Advance();
          }
          if (!IsPlainName(tok_)) Fail(ErrorNumber::ExpectedIdentifier);
          param.name = MakeName(tok_.text);
          Advance();
          // Each parameter has its own slot, in order, even when names repeat.
          const std::uint32_t slot = def.localCount++;
          def.implicitSlots.push_back(0);
          scope.slots[param.name->folded] = slot;
          def.params.push_back(param);
          if (tok_.kind != TokenKind::Comma) break;
          Advance();
        }
      }
      if (tok_.kind != TokenKind::RParen) Fail(ErrorNumber::ExpectedCloseParen);
      Advance();
    }
    ExpectStatementEnd();

    while (true) {
      SkipNewlines();
      if (tok_.kind == TokenKind::End) Fail(ErrorNumber::ExpectedEnd);
      if (tok_.kind == TokenKind::Identifier && tok_.keyword == Keyword::End) {
        Advance();
        if (tok_.kind != TokenKind::Identifier || tok_.keyword != Keyword::Function) {
          Fail(ErrorNumber::ExpectedFunction);
        }
        Advance();
        break;
      }
      if (const Stmt* stmt = ParseStatement()) def.body.push_back(stmt);
      ExpectStatementEnd();
    }
    scope_ = nullptr;

    // Names only assigned in the body become implicit locals; then every name
    // use of the body learns its slot.
    for (Stmt* s : scope.assignments) {
      auto it = scope.slots.find(s->name->folded);
      const std::uint32_t slot =
          it != scope.slots.end() ? it->second : [&] {
            scope_ = &scope;
            const std::uint32_t added = DeclareLocal(s->name->folded, true);
            scope_ = nullptr;
            return added;
          }();
      s->localSlot = static_cast<std::int32_t>(slot);
      s->implicitLocal = def.implicitSlots[slot] != 0;
    }
    for (Expr* e : scope.nameUses) {
      // name(...) with the function's own name is a recursive call, not its result.
      if (e->kind == ExprKind::Call && e->name->folded == def.name->folded) continue;
      auto it = scope.slots.find(e->name->folded);
      if (it == scope.slots.end()) continue;
      e->localSlot = static_cast<std::int32_t>(it->second);
      e->implicitLocal = def.implicitSlots[it->second] != 0;
    }
  }

  Lexer lexer_;
  Token tok_;
  std::optional<Token> peeked_;
  std::shared_ptr<Program> program_;
  FunctionScope* scope_ = nullptr;
  int depth_ = 0;
  std::size_t maxNodes_;
  std::size_t nodes_ = 0;
};

}  // namespace

std::shared_ptr<Program> ParseCode(std::string_view code) { return ParseCode(code, kMaxTreeNodes); }

std::shared_ptr<Program> ParseExpression(std::string_view expression) {
  return ParseExpression(expression, kMaxTreeNodes);
}

std::shared_ptr<Program> ParseCode(std::string_view code, std::size_t maxNodes) {
  return Parser(code, maxNodes).Code();
}

std::shared_ptr<Program> ParseExpression(std::string_view expression, std::size_t maxNodes) {
  return Parser(expression, maxNodes).Expression();
}

}  // namespace eval
