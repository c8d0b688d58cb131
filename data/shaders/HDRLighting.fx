// The HDR chain's passes (CHDRLighting): 4x4 down-scale, log-average luminance in shrinking
// targets (exp in the last step), eye adaptation toward the measured luminance, bright pass over
// the middle-gray scaled scene, 13-tap Gaussian blur, and the final Reinhard tone map with the
// bloom added. Every pass draws a pre-transformed full-screen quad; samplers s0 to s3 are texture
// units 0 to 3.
uniform vec2 g_avSampleOffsets[16];
uniform vec4 g_avSampleWeights[16];
uniform float g_fMiddleGray = 0.18;
uniform float g_fElapsedTime = 0.0;
uniform sampler2D s0;
uniform sampler2D s1;
uniform sampler2D s2;
uniform sampler2D s3;

varying vec2 uv;

const vec3 kLuminance = vec3(0.2125, 0.7154, 0.0721);
const float kBrightThreshold = 5.0;  // of the scaled luminance, before the bright pass
const float kBrightOffset = 10.0;    // separates bright parts from the rest
const float kBloomScale = 1.0;
const float kAdaptationRate = 2.0;   // per second
#technique DownScale4x4
#pass
#vertex
void main() {
  uv = gl_MultiTexCoord0.xy;
  gl_Position = gl_ModelViewProjectionMatrix * vec4(gl_Vertex.xyz, 1.0);
}
#fragment
void main() {
  vec4 sum = vec4(0.0);
  for (int i = 0; i < 16; ++i) sum += texture2D(s0, uv + g_avSampleOffsets[i]);
  gl_FragColor = sum / 16.0;
}
#technique SampleAvgLum
#pass
#vertex
void main() {
  uv = gl_MultiTexCoord0.xy;
  gl_Position = gl_ModelViewProjectionMatrix * vec4(gl_Vertex.xyz, 1.0);
}
#fragment
void main() {
  float logSum = 0.0;
  for (int i = 0; i < 9; ++i) {
    vec3 colour = texture2D(s0, uv + g_avSampleOffsets[i]).rgb;
    logSum += log(dot(colour, kLuminance) + 0.0001);
  }
  gl_FragColor = vec4(logSum / 9.0, 0.0, 0.0, 1.0);
}
#technique ResampleAvgLum
#pass
#vertex
void main() {
  uv = gl_MultiTexCoord0.xy;
  gl_Position = gl_ModelViewProjectionMatrix * vec4(gl_Vertex.xyz, 1.0);
}
#fragment
void main() {
  float sum = 0.0;
  for (int i = 0; i < 16; ++i) sum += texture2D(s0, uv + g_avSampleOffsets[i]).r;
  gl_FragColor = vec4(sum / 16.0, 0.0, 0.0, 1.0);
}
#technique ResampleAvgLumExp
#pass
#vertex
void main() {
  uv = gl_MultiTexCoord0.xy;
  gl_Position = gl_ModelViewProjectionMatrix * vec4(gl_Vertex.xyz, 1.0);
}
#fragment
void main() {
  float sum = 0.0;
  for (int i = 0; i < 16; ++i) sum += texture2D(s0, uv + g_avSampleOffsets[i]).r;
  gl_FragColor = vec4(exp(sum / 16.0), 0.0, 0.0, 1.0);
}
#technique CalculateAdaptedLum
#pass
#vertex
void main() {
  uv = gl_MultiTexCoord0.xy;
  gl_Position = gl_ModelViewProjectionMatrix * vec4(gl_Vertex.xyz, 1.0);
}
#fragment
void main() {
  float adapted = texture2D(s0, vec2(0.5)).r;
  float measured = texture2D(s1, vec2(0.5)).r;
  float next = adapted + (measured - adapted) * (1.0 - exp(-g_fElapsedTime * kAdaptationRate));
  // A value that is no number never recovers: start again from the measurement.
  if (!(next >= 0.0) || next > 1.0e30) next = measured;
  gl_FragColor = vec4(next, 0.0, 0.0, 1.0);
}
#technique BrightPassFilter
#pass
#vertex
void main() {
  uv = gl_MultiTexCoord0.xy;
  gl_Position = gl_ModelViewProjectionMatrix * vec4(gl_Vertex.xyz, 1.0);
}
#fragment
void main() {
  vec3 colour = texture2D(s0, uv).rgb;
  float adapted = texture2D(s1, vec2(0.5)).r;
  colour *= g_fMiddleGray / (adapted + 0.001);
  colour = max(colour - kBrightThreshold, 0.0);
  colour /= kBrightOffset + colour;
  gl_FragColor = vec4(colour, 1.0);
}
#technique blur
#pass
#vertex
void main() {
  uv = gl_MultiTexCoord0.xy;
  gl_Position = gl_ModelViewProjectionMatrix * vec4(gl_Vertex.xyz, 1.0);
}
#fragment
void main() {
  vec4 sum = vec4(0.0);
  for (int i = 0; i < 13; ++i) {
    sum += g_avSampleWeights[i] * texture2D(s0, uv + g_avSampleOffsets[i]);
  }
  gl_FragColor = vec4(sum.rgb, 1.0);
}
#technique FinalScenePass
#pass
#vertex
void main() {
  uv = gl_MultiTexCoord0.xy;
  gl_Position = gl_ModelViewProjectionMatrix * vec4(gl_Vertex.xyz, 1.0);
}
#fragment
void main() {
  vec3 colour = texture2D(s0, uv).rgb;
  vec3 glow = texture2D(s1, uv).rgb;
  float adapted = texture2D(s3, vec2(0.5)).r;
  colour *= g_fMiddleGray / (adapted + 0.001);
  colour /= 1.0 + colour;
  // The tone map gives linear light: the display's gamma brings the middle gray to mid-screen.
  gl_FragColor = vec4(pow(colour + kBloomScale * glow, vec3(1.0 / 2.2)), 1.0);
}
