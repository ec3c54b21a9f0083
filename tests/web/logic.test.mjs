// The pupil's page's own rules (resources/web/logic.js) as tables, without a browser:
//   node --test tests/web/logic.test.mjs
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { test } from 'node:test';

const L = createRequire(import.meta.url)('../../resources/web/logic.js');
const level = (n) => L.newDrill({ activity: 'intermediate', set: 's1',
  questions: Array.from({ length: n }, (_, i) => ({ a: i + 1, b: 2, x: 'dropped' })) }, 'hanako', 5);
const oneByOne = (activity, more = {}) => Object.assign(level(3), { activity }, more);

test('the store reads hostile or refused storage as nothing', () => {
  const kept = new Map([['json', '{"pupil":"a"}'], ['torn', '{"pupil":'], ['text', 'hanako']]);
  const store = L.makeStore(() => ({ getItem: (k) => kept.get(k) ?? null, setItem: (k, v) => kept.set(k, v) }));
  for (const [key, want] of [['json', { pupil: 'a' }], ['torn', null], ['text', null], ['none', null]])
    assert.deepEqual(store.get(key), want, key);
  store.put('kuku.set', level(2));
  assert.deepEqual(store.get('kuku.set'), level(2));
  const off = L.makeStore(() => { throw new Error('SecurityError'); });
  assert.equal(off.get('x'), null);
  assert.doesNotThrow(() => { off.put('x', 1); off.drop('x'); });
});

test('a reload resumes the kept set only for the kept pupil of a kept tablet', () => {
  for (const [same, session, drill, want] of [
    [false, { pupil: 'a' }, { pupil: 'a' }, 'signin'], [true, null, null, 'signin'],
    [true, { pupil: '' }, { pupil: '' }, 'signin'], [true, { pupil: 'a' }, { pupil: 'a' }, 'drill'],
    [true, { pupil: 'a' }, { pupil: 'b' }, 'home'], [true, { pupil: 'a' }, null, 'home']])
    assert.equal(L.resumeAt(same, session, drill), want, JSON.stringify([same, session, drill]));
});

test('replies: done, refused in words, trouble shown, or asked again', () => {
  const r = (status) => ({ status, ok: status >= 200 && status < 300 });
  for (const [res, data, want] of [
    [null, null, 'again'], [r(200), {}, 'done'], [r(200), null, 'again'], [r(200), 'ok', 'again'],
    [r(401), { code: 'tablet' }, 'refused'], [r(400), { code: 'bad' }, 'refused'],
    [r(499), { code: 'x' }, 'refused'], [r(429), { code: 'slow' }, 'again'], [r(404), {}, 'again'],
    [r(503), { code: 'full', error: 'いっぱい' }, 'trouble'], [r(500), { error: 5 }, 'again'],
    [r(302), { code: 'x' }, 'again']])
    assert.equal(L.replyKind(res, data), want, `${res && res.status} ${JSON.stringify(data)}`);
  for (const [code, want] of [['tablet', 'tablet'], ['signin', 'signin'], ['set', 'say'], [undefined, 'say']])
    assert.equal(L.afterRefusal(code), want, code);
  assert.equal(new L.Refused(401, { code: 'tablet', error: 7 }).text, '');
});

test('waits double from 700 ms to 8 s, and a rate limit waits 2 s at least', () => {
  for (const [status, want] of [[0, [700, 1400, 2800, 5600, 8000, 8000]], [429, [2000, 2000, 2800, 5600, 8000, 8000]]]) {
    const waits = [];
    for (let i = 0, d = L.FIRST_DELAY; i < 6; ++i, d = L.nextDelay(d)) waits.push(L.waitBefore(status && { status }, d));
    assert.deepEqual(waits, want, String(status));
  }
});

test('a dealt set: its questions, empty boxes, the challenge grid row by row', () => {
  const d = level(20);
  assert.deepEqual([d.questions.length, d.questions[19], d.answers[19], d.ms[0], d.marks[0], d.pupil, d.dealtAt],
    [20, { a: 20, b: 2 }, '', null, '', 'hanako', 5]);
  const c = L.newDrill({ activity: 'challenge', set: 'c', rows: [9, 8, 7, 6, 5, 4, 3, 2, 1],
    columns: [1, 2, 3, 4, 5, 6, 7, 8, 9] }, 'a', 0);
  assert.deepEqual([c.questions.length, c.questions[11], c.questions[80]], [81, { a: 8, b: 3 }, { a: 1, b: 9 }]);
});

test('filled boxes, told times, the next empty box, taking a set up again, the score', () => {
  for (const [v, want] of [['', false], ['0', false], ['000', false], ['7', true], ['05', true], ['100', true]])
    assert.equal(L.filled(v), want, v);
  for (const [ms, want] of [[-1, null], [0, 0], [3600000, 3600000], [3600001, null]]) assert.equal(L.told(ms), want);
  for (const [answers, from, want] of [[['1', '', '0', '4'], 0, 1], [['1', '', '0', '4'], 1, 2],
    [['', '2', '3', '4'], 3, 0], [['1', '', '3'], 1, 1], [['1', '2'], 0, -1]])
    assert.equal(L.nextEmpty({ answers }, from), want, `${answers} from ${from}`);
  for (const [d, activity, want] of [[null, 'novice', false], [level(2), 'intermediate', true],
    [level(2), 'expert', false], [oneByOne('practice'), 'practice', true],
    [oneByOne('weak', { summary: 'done' }), 'weak', false], [Object.assign(level(2), { summary: 'x' }), 'intermediate', true]])
    assert.equal(L.takesUp(d, activity), want, `${d && d.activity} ${activity}`);
  for (const [d, want] of [[level(2), ''], [oneByOne('weak', { summary: '3もん' }), '3もん'],
    [Object.assign(level(2), { graded: { score: 95 } }), '95点です'],
    [{ activity: 'challenge', graded: { result: '', correct: 80 } }, '80 / 81'],
    [{ activity: 'challenge', graded: { result: 'しんきろく', correct: 81 } }, 'しんきろく 81 / 81']])
    assert.equal(L.scoreText(d), want);
});

test('the waiting request: a grading counts its attempt, an answer tells its first time only', () => {
  const d = Object.assign(level(2), { answers: ['12', '4'], ms: [900, null] });
  assert.deepEqual(L.gradeRequest(d), { verb: 'grade', body: { set: 's1', attempt: 1,
    answers: [{ given: 12, ms: 900 }, { given: 4, ms: null }] } });
  assert.equal(L.gradeRequest(d).body.attempt, 2);
  for (const [tries, readyAt, now, ms] of [[1, 1000, 2500, 1500], [2, 1000, 2500, null], [1, 0, 2500, null],
    [1, 1, 3600002, null]])
    assert.deepEqual(L.answerRequest(oneByOne('practice', { open: 1, tries, answers: ['2', '08', ''] }), readyAt, now),
      { verb: 'answer', body: { set: 's1', index: 1, try: tries, given: 8, ms } });
});

test('the answer to a waiting request marks the set', () => {
  for (const [activity, reply, words, want] of [
    ['practice', { right: true }, 'せいかい', { marks: ['', '◎', ''], answers: ['', '4', ''], open: 2, tries: 1 }],
    ['practice', { right: false, product: 4 }, 'まちがい', { marks: ['', '？', ''], answers: ['', '', ''], open: 1, tries: 3 }],
    ['weak', { right: false, product: 4 }, 'まちがい。こたえは 4', { marks: ['', '×', ''], answers: ['', '4', ''], open: 2, tries: 1 }],
    ['weak', { right: true, done: true, summary: 'おわり' }, 'せいかい', { open: 3, summary: 'おわり' }]]) {
    const d = oneByOne(activity, { open: 1, tries: 2, answers: ['', '4', ''] });
    assert.equal(L.applyAnswer(d, { index: 1 }, reply), words);
    for (const [key, value] of Object.entries(want)) assert.deepEqual(d[key], value, `${activity} ${key}`);
  }
  const d = Object.assign(level(3), { finishedAt: 0 });
  L.applyGrade(d, { marks: [true, false, true] }, 77);
  L.applyGrade(d, { marks: [true, true, true] }, 99);
  assert.deepEqual([d.marks, d.finishedAt], [['◎', '◎', '◎'], 77]);
});

test('the pad: three digits at most, Backspace, keys taken only by the open box', () => {
  for (const [value, key, want] of [['', '5', '5'], ['12', '3', '123'], ['123', '4', null], ['12', 'Backspace', '1'],
    ['', 'Backspace', ''], ['1', 'Enter', null], ['1', 'a', null], ['1', '10', null]])
    assert.equal(L.typed(value, key), want, `${value} ${key}`);
  for (const [key, want] of [['0', true], ['9', true], ['Backspace', true], ['Enter', true], ['Tab', false], ['11', false]])
    assert.equal(L.padKey(key), want, key);
  for (const [d, index, want] of [[level(3), 2, true], [level(3), -1, false], [Object.assign(level(3), { pending: {} }), 0, false],
    [oneByOne('practice', { open: 2 }), 2, true], [oneByOne('practice', { open: 2 }), 1, false],
    [oneByOne('weak', { open: 2, summary: 'x' }), 2, false]])
    assert.equal(L.takesKeys(d, index), want, `${d.activity} ${index}`);
});

// Known gaps, reported rather than changed here: the desktop empties a box at 0 and at 100 or
// more, and a kept set is opened without looking at its shape.
test('a box keeps only 1 to 99, as at the desktop', { todo: 'the page keeps up to three digits' }, () => {
  assert.equal(L.typed('99', '9'), '');
  assert.equal(L.typed('', '0'), '');
});
test('a kept set of the wrong shape is not resumed', { todo: 'stored sets are not validated' }, () => {
  assert.notEqual(L.resumeAt(true, { pupil: 'a' }, { pupil: 'a', questions: 'x' }), 'drill');
});
