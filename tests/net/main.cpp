// The messaging layer runs on the Qt event loop, so the tests need an
// application object.  Like the game, it catches an exception that escapes
// an event handler instead of letting it unwind through the event loop.
#include "net_test_support.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {

class TestApplication : public QCoreApplication {
  public:
    using QCoreApplication::QCoreApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QCoreApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            EscapedErrors().push_back(e.what());
            return false;
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
