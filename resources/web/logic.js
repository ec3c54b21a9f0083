// What the pupil's page decides without touching the page: what is kept in localStorage over
// a reload and where a reload takes the pupil, the set in hand and the one request it waits to
// send, what the server's answer does to the set, when a request is asked again, and what a
// key of the pad does to a box. A plain script, no build step: the page loads it before
// app.js and finds it as globalThis.PageLogic; Node's test runner requires it.
'use strict';
(function () {
  // The localStorage keys: the tablet's token, the signed-in pupil, the set in hand.
  const KEYS = { tablet: 'kuku.tablet', session: 'kuku.session', drill: 'kuku.set' };

  // JSON in a Storage given by `storage()`. A storage that refuses (private mode, full, or
  // switched off so that even naming it throws) reads as null and keeps nothing.
  function makeStore(storage) {
    return {
      get(key) {
        try { return JSON.parse(storage().getItem(key)); } catch (e) { return null; }
      },
      put(key, value) {
        try { storage().setItem(key, JSON.stringify(value)); } catch (e) { /* private mode */ }
      },
      drop(key) {
        try { storage().removeItem(key); } catch (e) { /* private mode */ }
      },
    };
  }

  // Where the page goes at start once the server has said hello (`same`: it kept this
  // tablet's token): the sign-in, the kept set of the kept pupil, or the home screen.
  function resumeAt(same, session, drill) {
    if (!same || !session || !session.pupil) return 'signin';
    if (drill && drill.pupil === session.pupil) return 'drill';
    return 'home';
  }

  // ---- asking the server ------------------------------------------------------------------

  const FIRST_DELAY = 700;
  const MAX_DELAY = 8000;
  const SLOW_DELAY = 2000; // the least wait after a rate limit (429)

  // A refusal the server gave in words: { code, error } with a 4xx status.
  function Refused(status, body) {
    this.status = status;
    this.code = body.code;
    this.text = typeof body.error === 'string' ? body.error : '';
  }

  // What a reply (`res` null when none came, `data` its JSON or null) means: 'done', 'refused'
  // (a 4xx other than 429 with a code: given to the caller), 'trouble' (a 5xx that says why:
  // shown, and asked again) or 'again' (anything else, a rate limit among them: asked again).
  function replyKind(res, data) {
    if (res && data && typeof data === 'object') {
      if (res.ok) return 'done';
      if (res.status >= 400 && res.status < 500 && res.status !== 429 && data.code) return 'refused';
      if (res.status >= 500 && typeof data.error === 'string') return 'trouble';
    }
    return 'again';
  }

  // The wait before asking again, and the delay after it: doubled up to MAX_DELAY.
  const waitBefore = (res, delay) => (res && res.status === 429 ? Math.max(delay, SLOW_DELAY) : delay);
  const nextDelay = (delay) => Math.min(delay * 2, MAX_DELAY);

  // What a refusal but the activity's own leads to: 'tablet' (401, the server no longer knows
  // this tablet: a new token, and the pupil signs in again), 'signin', or 'say' its words.
  // 410 'gone': the address is an old class code, and the pupil scans the new one.
  const afterRefusal = (code) => (code === 'tablet' || code === 'signin' || code === 'gone' ? code : 'say');

  // ---- the set in hand --------------------------------------------------------------------

  function newDrill(reply, pupil, now) {
    const d = {
      pupil,
      activity: reply.activity,
      set: reply.set,
      row: reply.row || 0,
      columns: reply.columns || null,
      rows: reply.rows || null,
      questions: [],
      answers: [],
      ms: [],
      marks: [],
      attempt: 0,
      graded: null,
      open: 0,
      tries: 1,
      summary: '',
      pending: null,
      dealtAt: now,
      finishedAt: 0,
    };
    if (d.activity === 'challenge') {
      for (let i = 0; i < 81; ++i) d.questions.push({ a: d.rows[Math.floor(i / 9)], b: d.columns[i % 9] });
    } else {
      d.questions = reply.questions.map((q) => ({ a: q.a, b: q.b }));
    }
    d.answers = d.questions.map(() => '');
    d.ms = d.questions.map(() => null);
    d.marks = d.questions.map(() => '');
    d.first = d.questions.map(() => '');
    return d;
  }

  const oneByOne = (d) => d.activity === 'practice' || d.activity === 'weak';
  // As at the desktop, a box holding no number or 0 is not answered yet.
  const filled = (value) => value !== '' && Number(value) !== 0;
  // Times beyond an hour are not told (the server takes them as unknown anyway).
  const told = (ms) => (ms >= 0 && ms <= 3600000 ? ms : null);

  // The set in hand is taken up again when its activity is chosen, unless it is a one-by-one
  // set already done.
  const takesUp = (d, activity) => !!d && d.activity === activity && !d.left && !(oneByOne(d) && d.summary);

  // The number a box held when first confirmed ('' until then): the log's first answer.
  const firstOf = (d, i) => (d.first ? d.first[i] : d.answers[i]) || '';
  function confirmFirst(d, i) {
    if (!d.first) d.first = d.questions.map(() => '');
    if (filled(d.answers[i]) && !d.first[i]) d.first[i] = d.answers[i];
  }
  // A box still to be done: empty, or holding a number nobody confirmed (typed before a
  // reload): it gets the pad again and the set is not graded until it is confirmed.
  const toDo = (d, i) => !filled(d.answers[i]) || !firstOf(d, i);

  function nextEmpty(d, from) {
    for (let k = 1; k <= d.answers.length; ++k) {
      const i = (from + k) % d.answers.length;
      if (toDo(d, i)) return i;
    }
    return -1;
  }

  // The box the pad starts in when a level or challenge set is opened: the first one to do.
  const firstToDo = (d) => Math.max(0, d.answers.findIndex((a, i) => toDo(d, i)));

  function scoreText(d) {
    if (oneByOne(d)) return d.summary;
    if (!d.graded) return '';
    if (d.activity === 'challenge')
      return [d.graded.result, d.graded.correct + ' / 81'].filter(Boolean).join(' ');
    return d.graded.score + '点です';
  }

  // ---- the request the set waits to send, and its answer ----------------------------------
  // A set has at most one request waiting (`pending`), kept with the set in storage and sent
  // again, unchanged, until the server answers; the server answers a repeat with the same
  // reply and counts nothing twice.

  // The grading of every box: a new attempt.
  function gradeRequest(d) {
    d.attempt += 1;
    return {
      verb: 'grade',
      body: {
        set: d.set,
        attempt: d.attempt,
        answers: boxesOf(d),
      },
    };
  }

  function boxesOf(d) {
    return d.answers.map((a, i) => ({ given: Number(a), first: Number(firstOf(d, i)) || null, ms: d.ms[i] }));
  }

  // A level or challenge set left before its grading with numbers typed: its boxes go to the
  // log as unfinished, as at the desktop. null when there is nothing to send.
  function leaveRequest(d) {
    if (!d || oneByOne(d) || d.attempt > 0 || d.left || !d.answers.some(filled)) return null;
    return { verb: 'leave', body: { set: d.set, answers: boxesOf(d) } };
  }

  // The open question's answer; its time only on the first try (`readyAt`: when its box could
  // first be answered, 0 when unknown).
  function answerRequest(d, readyAt, now) {
    const i = d.open;
    const ms = d.tries === 1 && readyAt ? told(now - readyAt) : null;
    return { verb: 'answer', body: { set: d.set, index: i, try: d.tries, given: Number(d.answers[i]), ms } };
  }

  function applyGrade(d, reply, now) {
    d.graded = reply;
    d.marks = reply.marks.map((right) => (right ? '◎' : '×'));
    if (!d.finishedAt) d.finishedAt = now;
  }

  // The server's mark of one answer; gives the words said at once.
  function applyAnswer(d, body, reply) {
    const i = body.index;
    let words;
    if (reply.right) {
      d.marks[i] = '◎';
      words = 'せいかい';
    } else if (d.activity === 'practice') {
      d.marks[i] = '？';
      d.answers[i] = '';
      d.tries += 1;
      words = 'まちがい';
    } else {
      d.marks[i] = '×';
      d.answers[i] = String(reply.product);
      words = 'まちがい。こたえは ' + reply.product;
    }
    if (reply.right || d.activity === 'weak') {
      d.open = i + 1;
      d.tries = 1;
    }
    if (reply.done) {
      d.open = d.questions.length;
      d.summary = reply.summary || '';
    }
    return words;
  }

  // ---- the pad ----------------------------------------------------------------------------

  // The keys a box takes from the pad or a keyboard.
  const padKey = (key) => /^[0-9]$/.test(key) || key === 'Backspace' || key === 'Enter';

  // Whether the box `index` takes keys now: none while a request waits, and a one-by-one set
  // only in its open question until it is done.
  const takesKeys = (d, index) =>
    !d.pending && index >= 0 && !(oneByOne(d) && (d.summary || index !== d.open));

  // A box's text after a digit or Backspace; null when the key is neither. As at the desktop
  // a box stays below 100: a digit that would make 100 or more empties it.
  function typed(value, key) {
    if (/^[0-9]$/.test(key)) return Number(value + key) >= 100 ? '' : value + key;
    if (key === 'Backspace') return value.slice(0, -1);
    return null;
  }

  const PageLogic = {
    KEYS, makeStore, resumeAt,
    FIRST_DELAY, Refused, replyKind, waitBefore, nextDelay, afterRefusal,
    newDrill, oneByOne, filled, told, takesUp, nextEmpty, firstToDo, confirmFirst, scoreText,
    gradeRequest, answerRequest, leaveRequest, applyGrade, applyAnswer,
    padKey, takesKeys, typed,
  };
  globalThis.PageLogic = PageLogic;
  if (typeof module === 'object' && module && module.exports) module.exports = PageLogic;
})();
