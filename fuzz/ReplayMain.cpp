// Runs a fuzz target over saved inputs, without the fuzzing engine: every file named, and every
// file of every folder named. The test suite replays the seed corpora this way on every build.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int Replay(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: cannot read: %s\n", qPrintable(path), qPrintable(file.errorString()));
        return 1;
    }
    const QByteArray bytes = file.readAll();
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int inputs = 0, failures = 0;
    for (const QString& argument : app.arguments().mid(1)) {
        const QFileInfo info(argument);
        const QStringList files = info.isDir() ? QStringList(QDir(argument).entryList(QDir::Files, QDir::Name)) : QStringList{QString()};
        for (const QString& name : files) {
            failures += Replay(info.isDir() ? QDir(argument).filePath(name) : argument);
            ++inputs;
        }
    }
    std::printf("%d input(s) replayed\n", inputs);
    return inputs == 0 || failures ? 1 : 0;
}
