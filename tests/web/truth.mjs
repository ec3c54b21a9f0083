// The answer log tells what the pupil did on a tablet, as at the desktop: a first number
// corrected before the grading is logged as the first number; a set left before its grading
// is logged as unfinished (とちゅう); a box typed into just before a reload, its number never
// confirmed, gets the pad again.
//   node truth.mjs /path/to/quorin
import fs from 'node:fs';
import {
  check, classFolder, drillShown, launch, logLines, padEnter, padType, questions, signedInTablet, startServer, tap, tapText,
  text,
} from './harness.mjs';

const program = process.argv[2];
check(program && fs.existsSync(program), 'no program given (node truth.mjs /path/to/quorin)');
const { data, env, args } = classFolder(['hanako']);
const server = await startServer(program, args, { env });
const browser = await launch();
const product = (q) => q.a * q.b;
const currentBox = (page) => page.evaluate(() => document.activeElement.dataset.index);
const until = async (what, ok) => {
  for (let i = 0; i < 100 && !ok(); ++i) await new Promise((r) => setTimeout(r, 100));
  check(ok(), what);
};

try {
  const page = await signedInTablet(browser, server.url, 'hanako');

  // A corrected first number: 1 more than the product, confirmed, then put right.
  await tapText(page, 'レベル1', '#screen-home');
  await drillShown(page, 'レベル1');
  const first = await questions(page);
  await padEnter(page, product(first[0]) + 1);
  await tap(page, '#sheet .box[data-index="0"]');
  for (let i = 0; i < String(product(first[0]) + 1).length; ++i) await tap(page, '#pad [data-key="Backspace"]');
  await padEnter(page, product(first[0]));
  for (let i = 1; i < 20; ++i) await padEnter(page, product(first[i]));
  await page.waitForFunction(() => document.getElementById('score').textContent !== '');
  check(await text(page, '#score') === '100点です', `the score reads "${await text(page, '#score')}"`);
  const level1 = logLines(data).filter((f) => f[2] === 'レベル1');
  const line = level1.find((f) => Number(f[3]) === first[0].a && Number(f[4]) === first[0].b);
  check(line && Number(line[8]) === product(first[0]) + 1, `the corrected box is logged as ${line && line.join(',')}`);

  // An unfinished set: three boxes typed, then back to the home screen.
  await tap(page, '#again-button');
  await page.waitForFunction(() => [...document.querySelectorAll('#sheet .box')].every((b) => b.value === ''));
  const again = await questions(page);
  for (let i = 0; i < 3; ++i) await padEnter(page, product(again[i]));
  await tap(page, '#home-button');
  await page.waitForSelector('#screen-home:not([hidden])');
  await until('the left set is not logged as unfinished (3 lines)',
    () => logLines(data).filter((f) => f[2] === 'レベル1' && f[6] === 'とちゅう').length === 3);

  // A reload with a half-typed box: it gets the pad again, and grading waits for it.
  // The left レベル1 set's sheet is still in the page, hidden, until レベル2's questions come.
  await tapText(page, 'レベル2', '#screen-home');
  await drillShown(page, 'レベル2');
  const level2 = await questions(page);
  await padEnter(page, product(level2[0]));
  await padEnter(page, product(level2[1]));
  await padType(page, '1');
  await page.reload();
  await drillShown(page, 'レベル2');
  check(await currentBox(page) === '2', `after the reload the pad is in box ${await currentBox(page)}`);
  await tap(page, '#pad [data-key="Backspace"]');
  await padEnter(page, product(level2[2]));
  for (let i = 3; i < 20; ++i) await padEnter(page, product(level2[i]));
  await page.waitForFunction(() => document.getElementById('score').textContent !== '');
  check(await text(page, '#score') === '100点です', `the score reads "${await text(page, '#score')}"`);
} finally {
  await browser.close();
  await server.stop();
}
console.log('web truth: passed');
