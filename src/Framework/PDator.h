#pragma once
// Typed binders that tie one settings key to a global variable.

#include "Framework/PMMObject.h"

#include <string>

class CPDator : public IPMMObject {
public:
    std::string GetClassName() const override { return "CPDator"; }

    virtual void Set(const std::string& text) = 0;
    virtual void Add(const std::string& text) = 0;
    virtual void Subtract(const std::string& text) = 0;
    // Plain text comparison with ToString of the current value.
    virtual bool Equals(const std::string& text) const { return ToString() == text; }
    virtual bool NotEquals(const std::string& text) const { return !Equals(text); }
    virtual bool IsList() const { return false; }
    virtual std::string ToString() const = 0;
};

// Over a signed 32-bit variable: reads an optional sign and digits from the start
// of the text ("1.5" gives 1); writes plain decimal.
class CPIntDator : public CPDator {
public:
    explicit CPIntDator(int* variable) : m_variable(variable) {}
    int GetSize() const override { return static_cast<int>(sizeof(CPIntDator)); }

    void Set(const std::string& text) override;
    void Add(const std::string& text) override;
    void Subtract(const std::string& text) override;
    std::string ToString() const override;

    static int Convert(const std::string& text);

private:
    int* m_variable;
};

// Over a 32-bit float variable: reads a decimal number from the start of the text
// in the C locale; writes "%g".
class CPFloatDator : public CPDator {
public:
    explicit CPFloatDator(float* variable) : m_variable(variable) {}
    int GetSize() const override { return static_cast<int>(sizeof(CPFloatDator)); }

    void Set(const std::string& text) override;
    void Add(const std::string& text) override;
    void Subtract(const std::string& text) override;
    std::string ToString() const override;

    static float Convert(const std::string& text);

private:
    float* m_variable;
};
