#include <QApplication>

int runUiTests(int argc, char **argv);
int runAviTests(int argc, char **argv);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int failures = 0;
    failures += runUiTests(argc, argv);
    failures += runAviTests(argc, argv);
    return failures == 0 ? 0 : 1;
}
