#pragma once

#include "ComponentEditors.h"
#include "DesignIntf.h"

class TDataSet;

// Shows the persistent-fields editor of ADataSet modally, through the
// platform's modal seam: it lists the dataset's persistent fields, adds
// fields from the database and removes them. DesignerClass is the dataset
// designer class the editor runs with (TDataSetEditor::GetDSDesignerClass).
// Changes are told to ADesigner (Modified).
void ShowFieldsEditor(const IDesignerPtr &ADesigner, TDataSet *ADataSet,
                      const TDSDesignerClass &DesignerClass);
