#pragma once

// The Orvanta runtime components in one include.
#include "orvlib/DB.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvSession.h"
#include "orvlib/OvTypes.h"
#include "orvlib/OvUpdateSQL.h"
