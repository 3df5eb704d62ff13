// CObject: the common base of the framework's classes, with a run-time class
// name that a class declares for itself (QV_DECLARE_RUNTIME_CLASS /
// QV_IMPLEMENT_RUNTIME_CLASS). Nothing in the program creates objects by name;
// the name only tells what an object is.
#pragma once

struct CRuntimeClass {
    const char* m_lpszClassName;
};

class CObject {
public:
    CObject() {}
    virtual const CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject();
    // Storage hook kept for derived classes; the framework's default stores nothing.
    virtual void Serialize();

    // True when this object's run-time class has the given name.
    bool IsKindOfName(const char* className) const;

    static const CRuntimeClass classCObject;

private:
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
};

// In the class body: declares the run-time class of `cls`.
#define QV_DECLARE_RUNTIME_CLASS(cls)                                    \
public:                                                                  \
    static const CRuntimeClass class##cls;                               \
    const CRuntimeClass* GetRuntimeClass() const override;

// In one source file: defines it under the class's own name.
#define QV_IMPLEMENT_RUNTIME_CLASS(cls)                                  \
    const CRuntimeClass cls::class##cls = {#cls};                        \
    const CRuntimeClass* cls::GetRuntimeClass() const { return &cls::class##cls; }
