// highlight.js with its delphi language, in-process under Node, for bench/compare.
//
// Timing mode: node compare_hljs.mjs REPS FILE...
//   Reads each file, then times only hljs.highlight(code, {language: 'delphi'})
//   REPS times; prints {"version": ..., "seconds": {FILE: [s, ...]}} as JSON.
// Whole-process mode: node compare_hljs.mjs --whole FILE
//   Highlights FILE once and writes the HTML to standard output.
//
// ignoreIllegals is on: with it off, highlight.js gives up at the first
// character its delphi grammar calls illegal (real Free Pascal source has them)
// and returns the rest merely escaped, which would time an abandoned job.
// Files are read as Latin-1, one character per byte.
import fs from 'node:fs';
import hljs from 'highlight.js/lib/core';
import delphi from 'highlight.js/lib/languages/delphi';

hljs.registerLanguage('delphi', delphi);

const options = {language: 'delphi', ignoreIllegals: true};

function timeHighlight(code, reps) {
    const seconds = [];
    for (let k = 0; k < reps; ++k) {
        const start = process.hrtime.bigint();
        const result = hljs.highlight(code, options);
        seconds.push(Number(process.hrtime.bigint() - start) / 1e9);
        if (result.illegal || result.value.length === 0) throw new Error('highlight.js gave up');
    }
    return seconds;
}

const args = process.argv.slice(2);
if (args.length === 2 && args[0] === '--whole') {
    const html = hljs.highlight(fs.readFileSync(args[1], 'latin1'), options).value;
    process.stdout.write(Buffer.from(html, 'latin1'));
} else if (args.length >= 2) {
    const reps = Number(args[0]);
    const seconds = {};
    for (const path of args.slice(1)) seconds[path] = timeHighlight(fs.readFileSync(path, 'latin1'), reps);
    const version = JSON.parse(fs.readFileSync(new URL('node_modules/highlight.js/package.json', import.meta.url))).version;
    process.stdout.write(JSON.stringify({version, seconds}));
} else {
    process.stderr.write('usage: node compare_hljs.mjs REPS FILE... | --whole FILE\n');
    process.exit(2);
}
