// Token numbers of the Keldor scanner; the same numbers are the node kinds of expression trees.
#pragma once

enum KeldorToken : int {
    // Declared-name kinds.
    TK_PORTNAME = 259,
    TK_INPUTNAME = 260,
    TK_OUTPUTNAME = 261,
    TK_SUBCLASSNAME = 262,
    TK_CLASSARG = 263,
    TK_CONTROLVAR = 264,
    TK_PARAMETERNAME = 265,
    TK_INITCONDNAME = 266,
    TK_CONSTANTNAME = 267,
    TK_TABLENAME = 268,
    TK_VARIABLENAME = 269,
    TK_INDEP_STATENAME = 270,
    TK_INDEP_RATENAME = 271,
    TK_DEP_STATENAME = 272,
    TK_DEP_RATENAME = 273,
    TK_ALGLOOP_INNAME = 274,
    TK_ALGLOOP_OUTNAME = 275,
    TK_IDENTIFIERNAME_END = 276,
    TK_OPERATOR_BEGIN = 277,
    // Operators.
    TK_OR = 278,
    TK_AND = 279,
    TK_NOT = 280,
    TK_EQ = 281,
    TK_NE = 282,
    TK_LT = 283,
    TK_LE = 284,
    TK_GT = 285,
    TK_GE = 286,
    TK_MIN = 287,
    TK_PLUS = 288,
    TK_MULT = 289,
    TK_DIV = 290,
    TK_IDIV = 291,
    TK_MOD = 292,
    TK_POW = 293,
    TK_IPOW = 294,
    TK_PRF_MIN = 295,
    TK_PRF_PLUS = 296,
    TK_ARITH_PREF = 297,
    TK_OPERATOR_END = 298,
    // Types; TK_REAL, TK_INTEGER and TK_BOOLEAN are also the kinds of literal nodes.
    TK_ARITHMICTYPE_BEGIN = 299,
    TK_REAL = 300,
    TK_INTEGER = 301,
    TK_BOOLEAN = 302,
    TK_STRING = 303,
    TK_SAMPLETIME = 304,
    TK_ARITHMICTYPE_END = 305,
    TK_FUNCTIONNAME = 306,
    TK_TIME = 307,
    TK_SEL_EFFORT = 308,
    TK_SEL_FLOW = 309,
    TK_OPEN = 310,
    TK_CLOSE = 311,
    TK_COMMA = 312,
    TK_BACKQUOTE = 313,
    TK_LEFTBRACKET = 314,
    TK_RIGHTBRACKET = 315,
    TK_SEMICOLON = 316,
    TK_COLON = 317,
    TK_UNDEFINEDNAME = 318,
    TK_PRE_ERROR = 319,
    TK_ILLEGAL_CHARACTER = 320,
    // Keywords and connection operators.
    TK_CLASS = 321,
    TK_BOND = 322,
    TK_GRAPH = 323,
    TK_VERSION = 324,
    TK_NL = 325,
    TK_INTERFACE = 326,
    TK_PARAMETERS = 327,
    TK_INITIAL = 328,
    TK_CONDITIONS = 329,
    TK_SUBCLASSES = 330,
    TK_PARAMETER = 331,
    TK_COND = 332,
    TK_SET = 333,
    TK_CONSTANTS = 334,
    TK_TABLES = 335,
    TK_VARIABLES = 336,
    TK_CONNECTIONS = 337,
    TK_SIGNALS = 338,
    TK_EQUATIONS = 339,
    TK_ANY = 340,
    TK_MULTICONTAIL = 341,          ///< `=` in connection mode
    TK_LEFTMULTIBONDCON = 342,      ///< `<=` in connection mode
    TK_RIGHTSINGLEBONDCON = 343,    ///< `->` in connection mode
    TK_LEFTMULTISIGNALCON = 344,    ///< `:=` in connection mode
    TK_SINGLEPORTCON = 345,         ///< `--`
    TK_LEFTSINGLESIGNALCON = 346,   ///< `:-`
    TK_RIGHTSINGLESIGNALCON = 347,  ///< `-:`
    TK_RIGHTMULTISIGNALCON = 348,   ///< `=:`
    TK_CAUSALSTROKE = 349,          ///< `|`
    TK_LEFTSINGLEBONDCON = 350,     ///< `<-`
    TK_RIGHTMULTIBONDCON = 351,     ///< `=>`
    TK_PORTS = 352,
    TK_INPUTS = 353,
    TK_OUTPUTS = 354,
    TK_DIMENSION = 355,
    TK_FOR = 356,
    TK_DO = 357,
    TK_OD = 358,
    TK_IF = 359,
    TK_FI = 360,
    TK_ELSEIF = 361,
    TK_THEN = 362,
    TK_ELSE = 363,
    TK_UPTO = 364,
    TK_IS = 365,
    TK_GIVES = 366,
    TK_DIGIT = 367,
    TK_REAL_CONSTANT = 368,
    TK_TRUE = 369,
    TK_FALSE = 370,
    TK_E = 371,
    TK_INDEXFUNCTIONNAME = 372,
    TK_ORIENTATION = 373,
    TK_CAUSALITY = 374,
    TK_RESTRICTIONS = 375,
    TK_FIXED = 376,
    TK_PREFERRED = 377,
    TK_CONSTRAINT = 378,
    TK_INDIFFERENT = 379,
    TK_EFFORT = 380,
    TK_FLOW = 381,
    TK_1_EFFORT = 382,
    TK_1_FLOW = 383,
    TK_SAME = 384,
    TK_IN = 385,
    TK_OUT = 386,
    TK_PERIOD = 387,
    TK_EQUAL = 388,
    TK_NOTEQUAL = 389,
    TK_INTERPOLATION = 390,
    TK_SCHEME = 391,
    TK_GRI_MAIN = 392,              ///< graphical header record "!gri_main"
    TK_GRI_BOND = 393,              ///< graphical bond record "!gri_bond"
    TK_EXPR_ASSIGN = 394,           ///< `:=` in expression mode
    TK_LONE_OPEN_BRACE = 395,
    TK_CLOSE_BRACE = 396,
};

/// True for the kinds of name-reference nodes.
constexpr bool isNameKind(int kind)
{
    return kind >= TK_PORTNAME && kind <= TK_ALGLOOP_OUTNAME;
}

/// True for references to declared variables: parameters up to algebraic-loop outputs.
constexpr bool isVariableKind(int kind)
{
    return kind >= TK_PARAMETERNAME && kind <= TK_ALGLOOP_OUTNAME;
}

/// True for operator kinds that use the right operand only.
constexpr bool isUnaryOperator(int kind)
{
    return kind == TK_NOT || kind == TK_PRF_MIN || kind == TK_PRF_PLUS;
}

/// True for the operator kinds.
constexpr bool isOperatorKind(int kind)
{
    return kind >= TK_OR && kind <= TK_ARITH_PREF;
}

/// True for the kinds whose nodes have a left and a right operand: operators, ranges and
/// conditionals.
constexpr bool hasOperands(int kind)
{
    return isOperatorKind(kind) || kind == TK_UPTO || kind == TK_IF;
}

/// True for the kinds of literal nodes, which have a value.
constexpr bool hasLiteralValue(int kind)
{
    return kind == TK_REAL || kind == TK_INTEGER || kind == TK_BOOLEAN;
}

/// True for the kinds whose nodes use `extra`: the else-part of a conditional, the chain of an
/// equation's names and time nodes.
constexpr bool hasExtra(int kind)
{
    return kind == TK_IF || isNameKind(kind) || kind == TK_TIME;
}
