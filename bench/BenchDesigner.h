#pragma once

#include "BenchModule.h"
#include "FormDesigner.h"

#include <memory>

// A designer on a data module of Count components (makeDataModule), with the
// package registered.
inline TFormDesignerPtr makeBenchDesigner(int Count)
{
    registerPackage();
    return std::make_shared<TFormDesigner>(makeDataModule(Count));
}
