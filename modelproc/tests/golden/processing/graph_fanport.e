#Hclass	fanport
#Hversion	1

#DParam 	5
	#real	u`e
	#real	m`i[1]
	#real	m`i[2]
	#real	k`c
	#real	d`r

#DIncond	3
	#real	j[1..2]`p2.e_indep_state[1]	m[1..2]`p.e_indep_state_ic[1]
	#real	j[1..2]`p2.e_indep_state[2]	m[1..2]`p.e_indep_state_ic[2]
	#real	n`p[2].f_indep_state	k`p.f_indep_state_ic

#DVariable	11
	#real	u`p.e	j[1]`p1.e
	#real	u`p.f	j[1]`p1.f
	#real	j[2]`p1.e	n`p[3].e
	#real	j[2]`p1.f	n`p[3].f
	#real	j[1..2]`p2.f[1]	m[1..2]`p.f[1]
	#real	j[1..2]`p2.f[2]	m[1..2]`p.f[2]
	#real	j[2]`p3.e	d`p.e
	#real	j[2]`p3.f	d`p.f
	#real	j[1]`p3.e	n`p[1].e
	#real	j[1]`p3.f	n`p[1].f
	#real	n`p[2].e	k`p.e

#Dstate_ind	3
	#real	j[1..2]`p2.e_indep_state[1]	m[1..2]`p.e_indep_state[1]
	#real	j[1..2]`p2.e_indep_state[2]	m[1..2]`p.e_indep_state[2]
	#real	n`p[2].f_indep_state	k`p.f_indep_state

#DRate_ind	3
	#real	j[1..2]`p2.e[1]	m[1..2]`p.e[1]
	#real	j[1..2]`p2.e[2]	m[1..2]`p.e[2]
	#real	n`p[2].f	k`p.f

#EInitial	1
    V0 = P0

#Edynamic	8
    V4 = s0 / P1
    V5 = s1 / P2
    V10 = s2 / P3
    R2 = V4 + -V5
    V6 = P4 * V5
    R0 = V0 - V10
    R1 = V10 - V6

#Eoutputs	6
    V1 = V4
    V3 = V5
    V9 = V4
    V7 = V5
    V8 = V10
    V2 = V10
