// --compare's page: draws each function's plot from the data block (a row a
// build, a dot a call spread up and down so equal times stay visible, the
// middle half as a box and the median as a bar) on one log scale per
// function, with at least three tick labels that fit between the margins.
(function () {
  'use strict';
  var data = JSON.parse(document.getElementById('zorv-times').textContent);
  // The plot's units are the page's pixels at the width the page opened
  // with (within limits), so its text reads at the page's size on a phone as
  // on a desk; wider or narrower later, the plot scales.
  var height = 130, left = 48, right = 30;
  // The tick labels' font size and the room a label needs, in the plot's units.
  var fontSize = 12, labelRoom = 48;

  // A time in three digits or fewer, in the unit that fits: "127 ns", "3.3 ms".
  function shown(s) {
    var units = [[1, 's'], [1e-3, 'ms'], [1e-6, '\u00b5s'], [1e-9, 'ns']];
    for (var i = 0; i < units.length; ++i) {
      if (s >= units[i][0] * 0.9995 || i === units.length - 1) {
        return +(s / units[i][0]).toPrecision(3) + ' ' + units[i][1];
      }
    }
  }

  // Tick values in [lo, hi] whose leading digits are among `steps`.
  function ticksAt(steps, lo, hi) {
    var out = [];
    for (var e = Math.floor(Math.log10(lo)) - 1; e <= Math.ceil(Math.log10(hi)); ++e) {
      steps.forEach(function (m) {
        var t = +(m * Math.pow(10, e)).toPrecision(6);
        if (t >= lo && t <= hi) out.push(t);
      });
    }
    return out;
  }

  function range(from, to, step) {
    var out = [];
    for (var m = from; m < to - 1e-9; m += step) out.push(+m.toFixed(1));
    return out;
  }

  // Tick levels from the roundest to the finest: decades; 2 and 5; 1.5 and
  // 3; every digit; halves; fifths. A domain spans at least a factor of
  // 2.25, in which the fifths alone give three ticks or more.
  var levels = [[1], [2, 5], [1.5, 3], range(1, 10, 1), range(1, 10, 0.5), range(1, 10, 0.2)];

  // Ticks level by level, each kept only when its label stays `labelRoom`
  // from every label kept before, until a level ends with three or more;
  // should the round ones crowd out the rest, the finest level alone.
  function ticksFor(x) {
    var domain = x.domain();
    var keep = function (kept, t) {
      if (kept.every(function (k) { return Math.abs(x(t) - x(k)) >= labelRoom; })) kept.push(t);
      return kept;
    };
    var kept = [];
    for (var l = 0; l < levels.length && kept.length < 3; ++l) {
      kept = ticksAt(levels[l], domain[0], domain[1]).reduce(keep, kept);
    }
    if (kept.length < 3) kept = ticksAt(levels[levels.length - 1], domain[0], domain[1]).reduce(keep, []);
    return kept.sort(function (a, b) { return a - b; });
  }

  data.forEach(function (f) {
    var all = f.old.concat(f.new).filter(function (t) { return t > 0; });
    if (all.length === 0) return;
    var plot = d3.select('#plot-' + f.f);
    var width = Math.min(960, Math.max(320, plot.node().clientWidth || 640));
    var x = d3.scaleLog().domain([d3.min(all) / 1.5, d3.max(all) * 1.5]).range([left, width - right]);
    var svg = plot.append('svg')
        .attr('viewBox', '0 0 ' + width + ' ' + height)
        .attr('preserveAspectRatio', 'xMidYMid meet')
        .attr('role', 'img').attr('aria-label', f.f);
    [['OLD', f.old, 30, 'old'], ['NEW', f.new, 72, 'new']].forEach(function (row) {
      var times = row[1].filter(function (t) { return t > 0; });
      var y = row[2];
      var g = svg.append('g').attr('class', row[3]);
      g.append('text').attr('x', 4).attr('y', y + 4).attr('font-size', 12).text(row[0]);
      g.selectAll('circle').data(times).enter().append('circle')
        .attr('cx', function (t) { return x(t); })
        .attr('cy', function (t, i) { return y + ((i * 0.618034) % 1 - 0.5) * 22; })
        .attr('r', 1.6).attr('fill-opacity', 0.35).attr('stroke', 'none');
      if (times.length === 0) return;
      var q1 = d3.quantile(times, 0.25), q3 = d3.quantile(times, 0.75), m = d3.quantile(times, 0.5);
      g.append('rect').attr('x', x(q1)).attr('y', y - 13).attr('height', 26)
        .attr('width', Math.max(1, x(q3) - x(q1))).attr('fill', 'none').attr('stroke-width', 1.2);
      g.append('line').attr('x1', x(m)).attr('x2', x(m)).attr('y1', y - 16).attr('y2', y + 16)
        .attr('stroke-width', 2.5);
    });
    svg.append('g').attr('transform', 'translate(0,' + (height - 22) + ')')
      .call(d3.axisBottom(x).tickValues(ticksFor(x)).tickFormat(shown))
      .attr('font-size', fontSize);
  });
})();
