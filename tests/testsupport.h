#pragma once

// What the widget tests of this program commonly include, in one place.
#include "guitest.h"
#include "modalanswerer.h"
#include "panelsimulator.h"
#include "testdatabase.h"

#include <QSqlQuery>
#include <QtTest>
#include <QtWidgets>
