// Container (class "gkcontainer"): lays out up to five widgets in a row, with fixed spacings
// and weighted springs that share the free width.
#pragma once

#include "widgets/framework.h"

inline constexpr int MAX_COLUMNS = 5;
inline constexpr int MAX_SPRINGS = 6;
// Placement flags of a column.
inline constexpr int kGkPlaceFromLeft = 1;
inline constexpr int kGkPlaceFromRight = 2;

QWidget* GkNewContainer(QWidget* parent);

int gkContainer_SetProperties(QWidget* window, int32_t id);
int gkContainer_SetWidget(QWidget* window, QWidget* widget, int column, int flag);
int gkContainer_SetSpacing(QWidget* window, int column, int spacing, int second);
int gkContainer_SetSpring(QWidget* window, int spring, int weight, int second);
// Lays the row out; the owner calls it after a text's width changed.
int gkContainer_Layout(QWidget* window);
