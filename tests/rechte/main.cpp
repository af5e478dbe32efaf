#include <QApplication>

int runListTests(int argc, char **argv);
int runWindowTests(int argc, char **argv);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int failures = 0;
    failures += runListTests(argc, argv);
    failures += runWindowTests(argc, argv);
    return failures == 0 ? 0 : 1;
}
