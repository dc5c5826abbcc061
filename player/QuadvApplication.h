#pragma once

#include <QApplication>

// The application object. Exceptions cannot travel through Qt's event
// dispatch, so every event is delivered inside a handler that shows the error
// display and lets the loop go on.
class TQuadvApplication : public QApplication {
    Q_OBJECT
public:
    TQuadvApplication(int& Argc, char** Argv);

    bool notify(QObject* Receiver, QEvent* Event) override;
};
