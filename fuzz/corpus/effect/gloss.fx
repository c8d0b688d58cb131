// red from a variable
uniform mat4 WorldViewProjection;
uniform float gloss = 0.25;
uniform vec3 tint = vec3(0.5, 1.0, -2.0);
#technique other
#pass
#vertex
void main() { gl_Position = WorldViewProjection * gl_Vertex; }
#fragment
void main() { gl_FragColor = vec4(0.0, 0.0, 1.0, 1.0); }
#technique main
#pass
#vertex
void main() { gl_Position = WorldViewProjection * gl_Vertex; }
#fragment
void main() { gl_FragColor = vec4(gloss, 0.0, 0.0, 1.0); }
