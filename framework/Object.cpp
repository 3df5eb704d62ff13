#include "framework/Object.h"

#include <cstring>

const CRuntimeClass CObject::classCObject = {"CObject"};

const CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

CObject::~CObject() {}

void CObject::Serialize() {}

bool CObject::IsKindOfName(const char* className) const
{
    return className && strcmp(GetRuntimeClass()->m_lpszClassName, className) == 0;
}
