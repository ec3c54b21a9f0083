// The one shuffle: permutations, ties, the level pools and an even spread of first places.

#include "testsupport.h"
#include "ui/main/levelpage.h"

#include <QLabel>
#include <QSet>
#include <numeric>

namespace {

// Hands out a fixed list of keys and counts the reseeds.
struct ScriptedRandom : RandomSource {
    explicit ScriptedRandom(QList<float> k) : keys(std::move(k)) {}
    float next() override { return keys.isEmpty() ? 0.0f : keys[taken++ % keys.size()]; }
    void reseedFromClock() override { ++reseeds; }
    QList<float> keys;
    int taken = 0;
    int reseeds = 0;
};

} // namespace

class TestShuffle : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Every draw is a permutation of 0..N-1. With a fixed seed each of 36 positions comes first
    // about equally often: a chi-square above 66.6 (35 degrees of freedom, 0.1 %) means a bias.
    void drawsArePermutationsEvenlySpread() {
        ApplicationState s;
        MersenneRandomSource random(false, 20261206u);
        QList<int> firsts(36, 0);
        for (int n : {1, 9, 81, 82, 36}) {
            QList<int> identity(n);
            std::iota(identity.begin(), identity.end(), 0);
            for (int draw = 0; draw < (n == 36 ? 36000 : 300); ++draw) {
                Shuffle(s, n, random);
                QList<int> sorted(s.QuestionOrder, s.QuestionOrder + n);
                std::sort(sorted.begin(), sorted.end());
                QCOMPARE(sorted, identity);
                if (n == 36)
                    ++firsts[s.QuestionOrder[0]];
            }
        }
        double chi = 0;
        for (int count : firsts)
            chi += (count - 1000.0) * (count - 1000.0) / 1000.0;
        QVERIFY2(chi < 66.6, qPrintable(QString::number(chi)));
    }

    void descendingKeysTiesToLowerPosition_data() {
        QTest::addColumn<QList<float>>("keys");
        QTest::addColumn<QList<int>>("expected");
        const auto row = [](const char *name, QList<float> keys, QList<int> expected) {
            QTest::newRow(name) << keys << expected;
        };
        row("descending", {0.2f, 0.9f, 0.5f, 0.1f}, {1, 2, 0, 3});
        row("two equal", {0.5f, 0.9f, 0.5f, 0.1f}, {1, 0, 2, 3});
        row("all equal", {0.3f, 0.3f, 0.3f}, {0, 1, 2});
        // A drawn key of exactly 0 must not let a taken position be drawn again.
        row("zero keys", {0.0f, 0.4f, 0.0f, 0.4f}, {1, 3, 0, 2});
    }

    void descendingKeysTiesToLowerPosition() {
        QFETCH(QList<float>, keys);
        QFETCH(QList<int>, expected);
        ApplicationState s;
        ScriptedRandom random(keys);
        Shuffle(s, int(keys.size()), random);
        QCOMPARE(QList<int>(s.QuestionOrder, s.QuestionOrder + keys.size()), expected);
    }

    // Each level's sets over many draws: first factors within the pool (Novice 2..5,
    // Intermediate 6..9, Expert 1..9), no fact twice in a set, the whole pool turning up.
    void levelPoolsRespected() {
        TestMain t;
        const int pools[3][2] = {{2, 5}, {6, 9}, {1, 9}};
        for (int level = 0; level < 3; ++level) {
            LevelPage *page = t.window->levelPage(Activity(level));
            QSet<int> seen;
            for (int set = 0; set < 200; ++set) {
                page->retry();
                QSet<int> facts;
                for (int i = 0; i < LevelPage::kQuestions; ++i) {
                    // The label shows the factors in full-width digits: "２ × ３ ＝".
                    const QString text = page->questionLabel(i)->text();
                    const int a = text[0].unicode() - u'０';
                    const int fact = (a - 1) * 9 + (text[4].unicode() - u'１');
                    QVERIFY2(a >= pools[level][0] && a <= pools[level][1], qPrintable(text));
                    QCOMPARE(int(page->expectedAnswer(i)), int(t.state.FactProduct[fact]));
                    facts.insert(fact);
                }
                QCOMPARE(facts.size(), LevelPage::kQuestions);
                seen += facts;
            }
            QCOMPARE(seen.size(), (pools[level][1] - pools[level][0] + 1) * 9);
        }
        // Every set reseeds the generator once before it draws.
        ScriptedRandom scripted({0.25f, 0.75f, 0.5f});
        t.classroom->setRandomSource(&scripted);
        t.window->levelPage(Activity::Novice)->retry();
        t.window->levelPage(Activity::Expert)->retry();
        QCOMPARE(scripted.reseeds, 2);
        t.classroom->setRandomSource(&t.random);
    }
};

QTEST_MAIN(TestShuffle)
#include "tst_shuffle.moc"
