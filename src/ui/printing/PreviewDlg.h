#pragma once

struct TJobPreview;
class QWidget;

// Shows what a run would print (PreviewPrintJob), modal: each file with its
// pages, the pages the settings leave and the sheets, the files that cannot
// be printed with the reason, the names left out, and the total line.
void ShowJobPreview(QWidget* parent, const TJobPreview& preview);
