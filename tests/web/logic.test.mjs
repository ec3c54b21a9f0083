// The pupil's page's own rules (resources/web/logic.js) as tables, without a browser:
//   node --test tests/web/logic.test.mjs
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { test } from 'node:test';

const L = createRequire(import.meta.url)('../../resources/web/logic.js');
const set = (activity, more = {}) => Object.assign(L.newDrill({ activity: 'novice', set: 's1',
  questions: [{ a: 1, b: 2 }, { a: 2, b: 2 }, { a: 3, b: 2 }] }, 'hanako', 5), { activity }, more);

test('kept data: torn or refused storage reads as nothing; a reload resumes only what is still its own', () => {
  const kept = new Map([['json', '{"pupil":"a"}'], ['torn', '{"pupil":'], ['text', 'hanako']]);
  const store = L.makeStore(() => ({ getItem: (k) => kept.get(k) ?? null }));
  for (const [key, want] of [['json', { pupil: 'a' }], ['torn', null], ['text', null], ['none', null]])
    assert.deepEqual(store.get(key), want, key);
  const off = L.makeStore(() => { throw new Error('SecurityError'); });
  assert.doesNotThrow(() => { off.put('x', 1); off.drop('x'); assert.equal(off.get('x'), null); });
  for (const [same, session, drill, want] of [[false, { pupil: 'a' }, { pupil: 'a' }, 'signin'],
    [true, null, null, 'signin'], [true, { pupil: '' }, { pupil: '' }, 'signin'],
    [true, { pupil: 'a' }, { pupil: 'a' }, 'drill'], [true, { pupil: 'a' }, { pupil: 'b' }, 'home']])
    assert.equal(L.resumeAt(same, session, drill), want, JSON.stringify([same, session, drill]));
});

test('replies: done, refused in words (401 a new tablet), trouble shown, or asked again', () => {
  const r = (status) => ({ status, ok: status >= 200 && status < 300 });
  for (const [res, data, want] of [[null, null, 'again'], [r(200), {}, 'done'], [r(200), 'ok', 'again'],
    [r(401), { code: 'tablet' }, 'refused'], [r(499), { code: 'x' }, 'refused'], [r(429), { code: 'slow' }, 'again'],
    [r(404), {}, 'again'], [r(503), { code: 'full', error: 'いっぱい' }, 'trouble'], [r(500), { error: 5 }, 'again']])
    assert.equal(L.replyKind(res, data), want, `${res && res.status} ${JSON.stringify(data)}`);
  for (const [code, want] of [['tablet', 'tablet'], ['signin', 'signin'], ['set', 'say']])
    assert.equal(L.afterRefusal(code), want, code);
  assert.equal(new L.Refused(401, { code: 'tablet', error: 7 }).text, '');
  for (const [status, want] of [[0, [700, 1400, 2800, 5600, 8000, 8000]], [429, [2000, 2000, 2800, 5600, 8000, 8000]]]) {
    const waits = [];
    for (let i = 0, d = L.FIRST_DELAY; i < 6; ++i, d = L.nextDelay(d)) waits.push(L.waitBefore(status && { status }, d));
    assert.deepEqual(waits, want, `waits after ${status}`);
  }
});

test('the waiting request: a grading counts its attempt, an answer tells its first time only', () => {
  // The first confirmed number goes with the box's number (a corrected box: 9 then 12).
  const d = set('novice', { answers: ['12', '4', '0'], first: ['9', '', ''], ms: [900, null, null] });
  assert.deepEqual(L.gradeRequest(d).body, { set: 's1', attempt: 1,
    answers: [{ given: 12, first: 9, ms: 900 }, { given: 4, first: null, ms: null }, { given: 0, first: null, ms: null }] });
  assert.equal(L.gradeRequest(d).body.attempt, 2);
  for (const [tries, readyAt, now, ms] of [[1, 1000, 2500, 1500], [2, 1000, 2500, null], [1, 0, 2500, null],
    [1, 3000, 2500, null],
    [1, 1, 3600001, 3600000], [1, 1, 3600002, null]])
    assert.deepEqual(L.answerRequest(set('practice', { open: 1, tries, answers: ['2', '08', ''] }), readyAt, now).body,
      { set: 's1', index: 1, try: tries, given: 8, ms });
});

test('the answer to the waiting request marks the set', () => {
  for (const [activity, reply, words, want] of [
    ['practice', { right: true }, 'せいかい', { marks: ['', '◎', ''], open: 2, tries: 1 }],
    ['practice', { right: false, product: 4 }, 'まちがい', { marks: ['', '？', ''], answers: ['', '', ''], open: 1, tries: 3 }],
    ['weak', { right: false, product: 4 }, 'まちがい。こたえは 4', { marks: ['', '×', ''], answers: ['', '4', ''], open: 2, tries: 1 }],
    ['weak', { right: true, done: true, summary: 'おわり' }, 'せいかい', { open: 3, summary: 'おわり' }]]) {
    const d = set(activity, { open: 1, tries: 2, answers: ['', '9', ''] });
    assert.equal(L.applyAnswer(d, { index: 1 }, reply), words);
    for (const [key, value] of Object.entries(want)) assert.deepEqual(d[key], value, `${activity} ${key}`);
  }
  const d = set('novice');
  L.applyGrade(d, { marks: [true, false, true] }, 77);
  L.applyGrade(d, { marks: [true, true, true] }, 99);
  assert.deepEqual([d.marks, d.finishedAt], [['◎', '◎', '◎'], 77]);
  const c = L.newDrill({ activity: 'challenge', rows: [9, 8, 7, 6, 5, 4, 3, 2, 1], columns: [1, 2, 3, 4, 5, 6, 7, 8, 9] });
  assert.deepEqual([c.questions.length, c.questions[11]], [81, { a: 8, b: 3 }]);
});

test('the pad: below 100, keys only in the open box, 0 is no answer, the next box to do', () => {
  for (const [value, key, want] of [['', '5', '5'], ['9', '9', '99'], ['12', '3', ''], ['10', '0', ''], ['12', 'Backspace', '1'],
    ['1', 'Enter', null], ['1', '10', null]])
    assert.equal(L.typed(value, key), want, `${value} ${key}`);
  for (const [key, want] of [['9', true], ['Backspace', true], ['Enter', true], ['Tab', false], ['11', false]])
    assert.equal(L.padKey(key), want, key);
  for (const [d, index, want] of [[set('novice'), 2, true], [set('novice'), -1, false],
    [set('novice', { pending: {} }), 0, false], [set('practice', { open: 2 }), 1, false],
    [set('weak', { open: 2 }), 2, true], [set('weak', { open: 2, summary: 'x' }), 2, false]])
    assert.equal(L.takesKeys(d, index), want, `${d.activity} ${index}`);
  for (const [answers, from, want] of [[['1', '', '00', '4'], 1, 2], [['', '2', '3', '4'], 3, 0], [['1', '', '3'], 1, 1],
    [['1', '2'], 0, -1]])
    assert.equal(L.nextEmpty({ answers }, from), want, `${answers} from ${from}`);
  // A number typed before a reload and never confirmed is still to do.
  for (const [first, from, want] of [[['5', '', '7'], 2, 1], [['5', '6', '7'], 0, -1]])
    assert.equal(L.nextEmpty({ answers: ['5', '6', '7'], first }, from), want, `${first} from ${from}`);
  for (const [d, want] of [[set('novice', { answers: ['', '4', ''], first: ['', '3', ''] }), [null, 3, null]],
    [set('novice', { answers: ['', '', ''] }), null], [set('novice', { answers: ['1', '', ''], attempt: 1 }), null],
    [set('practice', { answers: ['1', '', ''] }), null]]) {
    const r = L.leaveRequest(d);
    assert.deepEqual(r && r.body.answers.map((a) => a.first), want, d.activity);
  }
  for (const [d, activity, want] of [[set('weak', { summary: 'x' }), 'weak', false], [set('weak'), 'weak', true],
    [set('novice', { summary: 'x' }), 'novice', true], [set('novice'), 'expert', false]])
    assert.equal(L.takesUp(d, activity), want);
  for (const [d, want] of [[set('weak', { summary: '3もん' }), '3もん'], [set('novice', { graded: { score: 95 } }), '95点です'],
    [set('challenge', { graded: { result: '', correct: 80 } }), '80 / 81']])
    assert.equal(L.scoreText(d), want);
});
