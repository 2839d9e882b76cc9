// Runs a fuzz target over its seed corpus.

#include <QDir>
#include <QFile>
#include <QTest>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

class TestFuzzSeeds : public QObject {
    Q_OBJECT

private slots:
    void seeds()
    {
        const QDir corpus(QStringLiteral(FUZZ_CORPUS_DIR));
        const QStringList names = corpus.entryList(QDir::Files);
        QVERIFY(!names.isEmpty());
        for (const QString& name : names) {
            QFile file(corpus.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QCOMPARE(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                            size_t(bytes.size())),
                     0);
            // Every cut of a seed as well: the reader meets truncated files.
            for (qsizetype cut = 0; cut < bytes.size(); cut += 7)
                LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                       size_t(cut));
        }
    }
};

QTEST_GUILESS_MAIN(TestFuzzSeeds)
#include "tst_loopback_fuzz_seeds.moc"
