#pragma once
// The node and rank filter commands of the main window: show FltNR_Dlg for
// one mask of the view filter and write the mask back on "Done".

class QWidget;
class ViewFilter;

enum class FilterMask { Nodes, Ranks };

// Runs the dialog modally, starting from the filter's current mask. Returns
// true when "Done" wrote the mask (the caller then makes the views redraw);
// on "Cancel" or close the mask stays as it was.
bool editFilterMask(QWidget* parent, ViewFilter& filter, FilterMask which);
