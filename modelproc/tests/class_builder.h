// Test helper: builds classes through the record builders with short calls.
#pragma once

#include "modelproc/function_table.h"
#include "modelproc/model_records.h"

#include <initializer_list>
#include <string>

namespace testsupport {

/// The reference kind of each class and body section.
inline int kindOf(ClassSection s)
{
    static const int kinds[] = {TK_PARAMETERNAME, TK_INITCONDNAME, TK_VARIABLENAME, TK_CONSTANTNAME};
    return kinds[s];
}

inline int kindOf(BodySection s)
{
    static const int kinds[] = {TK_INDEP_STATENAME, TK_INDEP_RATENAME, TK_DEP_STATENAME,
                                TK_DEP_RATENAME,    TK_ALGLOOP_INNAME,  TK_ALGLOOP_OUTNAME};
    return kinds[s];
}

/// A DYN class under construction.
class ClassBuilder {
public:
    ClassBuilder(const std::string& name, int version)
    {
        cls = newClass();
        cls->name = intern_name(name);
        cls->version = version;
        body = newEquationBody(cls);
    }

    static ExprList dims(std::initializer_list<int> sizes)
    {
        ExprList list;
        for (int size : sizes)
            list.append(makeIntegerConstant(size));
        return list;
    }

    VarRec* var(ClassSection s, const std::string& name, std::initializer_list<int> sizes = {},
                int type = TYPE_REAL, std::initializer_list<const char*> aliases = {})
    {
        VarRec* v = newClassVariable(cls, s);
        setVariable(v, name, dims(sizes), type);
        for (const char* a : aliases)
            v->aliases.push_back(a);
        return v;
    }

    VarRec* var(BodySection s, const std::string& name, std::initializer_list<int> sizes = {})
    {
        VarRec* v = newBodyVariable(body, s);
        setVariable(v, name, dims(sizes), TYPE_REAL);
        return v;
    }

    /// A reference of the variable's kind with the given index expressions.
    static ExprNode* ref(VarRec* v, int kind, std::initializer_list<ExprNode*> index = {})
    {
        ExprList list;
        for (ExprNode* i : index)
            list.append(i);
        return makeLeaf(0, v, kind, nullptr, list);
    }

    static ExprNode* num(double value) { return makeRealConstant(value); }
    static ExprNode* integer(int value) { return makeIntegerConstant(value); }
    static ExprNode* op(int kind, ExprNode* left, ExprNode* right) { return makeOperator(left, right, kind); }
    static ExprNode* neg(ExprNode* operand) { return makeOperator(nullptr, operand, TK_PRF_MIN); }
    static ExprNode* fn(int function, std::initializer_list<ExprNode*> args)
    {
        ExprList list;
        for (ExprNode* a : args)
            list.append(a);
        return makeFunctionCall(function, list);
    }
    static ExprNode* time() { return makeLeaf(0, nullptr, TK_TIME, nullptr, ExprList{}); }

    EquationRec* eq(ExprNode* left, ExprNode* right)
    {
        EquationRec* e = newEquation(body);
        e->left = left;
        e->right = right;
        e->sort_no = ++m_sorted;
        rebuildVariableChain(e);
        return e;
    }

    ClassRec* cls = nullptr;
    EquationBody* body = nullptr;

private:
    int m_sorted = 0;
};

} // namespace testsupport
